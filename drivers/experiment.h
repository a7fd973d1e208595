// The experiment skeleton shared by every program: seed, build the
// three-layer network, stimulate it, switch plasticity off part-way, report
// and free.
#pragma once

#include <string_view>

#include "net1.h"
#include "options.h"
#include "settings.h"

namespace net1::drivers {

class Progress;

struct Network {
  Group* sorc = nullptr;  // 40 input units
  Group* rsvr = nullptr;  // 1000 reservoir units
  Group* sink = nullptr;  // 100 output units
};

// Groups, units and random connections, drawing from the generator in the
// fixed order that makes a run repeatable from its seed.
Network buildNetwork(const ProgramSettings& program);
void freeNetwork(Network& network);

// The stimulation loop: `steps` steps, with the switch-off where the program
// has one. Returns false when writing the output failed and the run stopped.
bool stimulate(const ProgramSettings& program, const Network& network, EventQueue* q, long steps,
               Stream& out, Progress* progress);

// What a run did, for benchmarks.
struct RunStats {
  std::uint64_t events = 0;  // events added to the queue
};

// Everything after seeding, writing to `out`: build, run, report, free.
// Returns false when writing the output failed.
bool runExperiment(const ProgramSettings& program, const Options& options, Stream& out,
                   Progress* progress, RunStats* stats = nullptr);

// A program's main: options, seed, run, exit status.
int programMain(std::string_view name, int argc, char** argv);

}  // namespace net1::drivers
