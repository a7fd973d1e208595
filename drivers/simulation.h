// A description, built and running on the engine of its edition. This is
// the one place where the drivers meet the two editions: everything that
// calls the engine is compiled once per edition (net1::drivers::ed1 and
// ::ed2), and makeSimulation picks by the description's edition.
#pragma once

#include <csignal>
#include <cstdint>
#include <memory>

#include "description.h"
#include "trace_grammar.h"
#include "trace_stream.h"

namespace net1::drivers {

class Progress;

// What follows a run from outside it: progress, a request to stop (set by a
// signal), and how far it got.
struct RunWatch {
  Progress* progress = nullptr;
  const volatile std::sig_atomic_t* stop = nullptr;
  long stepsDone = 0;
};

// Which lines the engine writes, to the one stream of the run.
struct TraceRouting {
  trace::KindSet kinds = trace::kAllKinds;
  bool plasticity = false;  // "uthr", "dthr", "ustdp", "dstdp"
  bool volt = false;        // "volt"
  bool traceless = false;   // benchmarks: no trace lines at all, the report only
};

class Simulation {
 public:
  virtual ~Simulation() = default;
  // Delivers up to `steps` more stimuli (the switch-off where the
  // description has it); false when it stopped early: a stop was asked for,
  // or writing the output failed.
  virtual bool run(long steps, RunWatch& watch) = 0;
  // The final report: every group's units, then the synapses leaving them.
  virtual void report() = 0;
  virtual double now() const = 0;
  virtual long stepsDone() const = 0;
  virtual std::uint64_t eventsAdded() const = 0;
};

// Builds the description's network, drawing from the generator (seeded
// before), and makes its queue, writing to `out`. Returns null when `stop`
// was set during the build.
std::unique_ptr<Simulation> makeSimulation(const Description& d, Stream& out, const TraceRouting& routing,
                                           const volatile std::sig_atomic_t* stop);

namespace ed1 {
std::unique_ptr<Simulation> makeSimulation(const Description& d, Stream& out, const TraceRouting& routing,
                                           const volatile std::sig_atomic_t* stop);
}
namespace ed2 {
std::unique_ptr<Simulation> makeSimulation(const Description& d, Stream& out, const TraceRouting& routing,
                                           const volatile std::sig_atomic_t* stop);
}

}  // namespace net1::drivers
