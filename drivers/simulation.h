// A description, built and running on the engine of its edition. This is
// the one place where the drivers meet the two editions: everything that
// calls the engine is compiled once per edition (net1::drivers::ed1 and
// ::ed2), and makeSimulation picks by the description's edition.
#pragma once

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// Which lines the engine writes, to the one stream of the run: as text, and
// to the stream's collector (Stream::collect).
struct TraceRouting {
  trace::KindSet kinds = trace::kAllKinds;
  trace::KindSet collected = 0;
  bool plasticity = false;  // "uthr", "dthr", "ustdp", "dstdp"
  bool volt = false;        // "volt"
  bool traceless = false;   // benchmarks: no trace lines at all, the report only
};

// A network's state, column by column: every unit, group by group in
// ascending id, or every synapse by its pre unit so and in chain order.
struct UnitTable {
  std::vector<std::uint16_t> group;  // the group's place in the description
  std::vector<std::int32_t> id;
  std::vector<std::uint8_t> excitatory;
  std::vector<float> threshold, leak, resetPotential, potential;
  std::vector<double> lastSpike;
  std::vector<std::int32_t> inTotal, inActive, outTotal, outActive;
  std::vector<float> inWeight, outWeight;  // of the active synapses, summed in chain order
};
struct SynapseTable {
  std::vector<std::uint16_t> preGroup, postGroup;
  std::vector<std::int32_t> pre, post;
  std::vector<std::uint8_t> active;
  std::vector<float> weight, delay;
  std::vector<double> lastSwitch;
};

class Simulation {
 public:
  virtual ~Simulation() = default;
  // Delivers up to `steps` more stimuli (the switch-off where the
  // description has it); false when it stopped early: a stop was asked for,
  // or writing the output failed.
  virtual bool run(long steps, RunWatch& watch) = 0;
  // Delivers the stimuli due before `time` (at most `steps` of them), then
  // runs the engine to `time`; false as run().
  virtual bool runUntil(double time, long steps, RunWatch& watch) = 0;
  // The final report: every group's units, then the synapses leaving them.
  virtual void report() = 0;
  virtual double now() const = 0;
  virtual long stepsDone() const = 0;
  virtual std::uint64_t eventsAdded() const = 0;

  // Input of `amount` to unit `unit` of the description's group `group`,
  // at `time`; an error message, or "" when it was queued.
  virtual std::string inject(std::size_t group, std::uint32_t unit, double time, float amount) = 0;
  // Takes what changed from the description it runs to `now` (group
  // parameters, the rate factor, stimuli, the switch-off step); an error
  // message, or "", when a change needs a network built anew.
  virtual std::string change(const Description& now) = 0;
  // Switches plasticity off now, as the switch-off step does.
  virtual void switchOff() = 0;
  virtual void units(UnitTable& out) const = 0;
  virtual void synapses(SynapseTable& out) const = 0;
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
