// The experiment skeleton shared by every program: seed, build the
// three-layer network, stimulate it, switch plasticity off part-way, report
// and free.
#pragma once

#include <csignal>
#include <cstdint>
#include <string_view>

#include "net1.h"
#include "options.h"
#include "settings.h"

namespace net1::drivers {

class Progress;

struct Network {
  Group* sorc = nullptr;  // the input units
  Group* rsvr = nullptr;  // the reservoir
  Group* sink = nullptr;  // the output units
};

// Groups, units and random connections, drawing from the generator in the
// fixed order that makes a run repeatable from its seed and settings.
Network buildNetwork(const ProgramSettings& program);
void freeNetwork(Network& network);

// What follows a run from outside it: progress, a request to stop (set by a
// signal), and how far it got.
struct RunWatch {
  Progress* progress = nullptr;
  const volatile std::sig_atomic_t* stop = nullptr;
  long stepsDone = 0;
};

// The stimulation loop: `program.steps` steps, with the switch-off where the
// program has one. Returns false when the run stopped early: writing the
// output failed, or a stop was asked for.
bool stimulate(const ProgramSettings& program, const Network& network, EventQueue* q, Stream& out, RunWatch& watch);

// What a run did, for benchmarks.
struct RunStats {
  std::uint64_t events = 0;  // events added to the queue
};

// Everything after seeding, writing to `out`: build, run, report, free.
// Returns false when the run stopped early.
bool runExperiment(const ProgramSettings& program, const Options& options, Stream& out, RunWatch& watch,
                   RunStats* stats = nullptr);

// A program's main: command line, settings, seed, run, outputs, exit status.
int programMain(std::string_view name, int argc, char** argv);

}  // namespace net1::drivers
