// The skeleton shared by every program: read the command line and the
// description, seed, build the network, stimulate it, switch plasticity off
// part-way, report and free, and write the outputs and the run record.
#pragma once

#include <cstdint>
#include <string_view>

#include "description.h"
#include "options.h"
#include "simulation.h"

namespace net1::drivers {

// What a run did, for benchmarks.
struct RunStats {
  std::uint64_t events = 0;  // events added to the queue
};

// Everything after seeding, writing to `out`: build, run, report, free.
// Returns false when the run stopped early.
bool runDescription(const Description& d, const Options& options, Stream& out, RunWatch& watch,
                    RunStats* stats = nullptr);

// A program's main: command line, description, seed, run, outputs, exit status.
int programMain(std::string_view name, int argc, char** argv);

}  // namespace net1::drivers
