// How the engine's costs grow with the network and with its activity. One
// network per process, so that the peak memory is its own:
//
//   scale-bench scale UNITS [SPIKES]      a reservoir of UNITS units, 100 synapses per
//                                         unit by the fixed rule, switching on, input units
//                                         stimulated at random; runs until SPIKES spikes
//   scale-bench active UNITS PER_UNIT [SPIKES]
//                                         exp-poisson's three groups with the reservoir of
//                                         UNITS units, every synapse on (PER_UNIT per unit),
//                                         no plasticity: activity from low up to saturation
//   scale-bench saturated [STEPS]         exp-poisson's network with every synapse on and no
//                                         plasticity, 20,000 steps
//
// It prints one line: units, synapses, build seconds and ns per synapse, the
// peak memory of the build and bytes per synapse, then the run's spikes,
// events, simulated time, events per time unit, seconds and ns per event.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "description_checks.h"
#include "description_file.h"
#include "experiments.h"
#include "simulation.h"

using namespace net1;
using namespace net1::drivers;

namespace {

// The process's peak resident memory so far, in bytes.
double peakBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) * 1024.0;
  }
  return 0;
}

// Counts the spike lines that reach it and drops the bytes.
class SpikeCounter final : public Sink {
 public:
  int write(const char* data, std::size_t size) override {
    for (const char* at = data; (at = static_cast<const char*>(std::memchr(at, '\n', size - (at - data))));) {
      ++lines;
      ++at;
    }
    return 0;
  }
  long lines = 0;
};

// A pathway of the scale network by the fixed rule: exponential delays of
// mean about 3, as in the nine.
std::string fixedPathway(const std::string& head, int perUnit, const char* excitatoryWeight, bool on) {
  return "[[pathway]]\n" + head + "rule = \"fixed\"\nperUnit = " + std::to_string(perUnit) +
         "\nexcitatoryWeight = " + excitatoryWeight +
         "\ninhibitoryWeight = [0.5, 2.0]\ndelay = [0.000001, 0.999999]\ndelayScale = 3.0\n" +
         (on ? "startActive = true\n" : "");
}

// The input units switch their synapses on; in the reservoir 90 of a unit's
// 100 synapses start off and 10 weaker ones on, so that activity rises as
// switching goes on without reaching saturation.
std::string scaleNetwork(long units) {
  const long inputs = std::max(10L, units / 100);
  const std::string group = "switching = true\nswitchProb = 0.05\nweightMin = 0.5\nweightMax = 2.0\n";
  return "[run]\nsteps = 1000000000\ngenerator = \"mt19937_64\"\n"
         "[[group]]\nname = \"in\"\nsize = " + std::to_string(inputs) + "\n" + group +
         "excitatory = true\nthreshold = 1.0\nleak = 1.0\n"
         "[[group]]\nname = \"rsvr\"\nsize = " + std::to_string(units) + "\nrefractory = 1.0\n" + group +
         "excitatory = 0.8\nthreshold = [1.0, 2.0]\nresetPotential = [0.5, 1.0]\nleak = [0.1, 1.0]\n" +
         fixedPathway("from = \"in\"\nto = \"rsvr\"\n", 100, "[0.5, 2.0]", false) +
         fixedPathway("from = \"rsvr\"\nto = \"rsvr\"\n", 90, "[0.5, 2.0]", false) +
         fixedPathway("name = \"on\"\nfrom = \"rsvr\"\nto = \"rsvr\"\n", 10, "[0.3, 0.9]", true) +
         "[[stimulus]]\nname = \"input\"\ngroup = \"in\"\nkind = \"random\"\ninterval = " +
         std::to_string(5.0 / static_cast<double>(inputs)) + "\namount = 2.0\n";
}

// exp-poisson's network with every synapse on from the start and nothing
// that changes it: no switching, no STDP.
Description saturated(long reservoir, double perUnit) {
  Description d = experimentDescription(*findExperiment("exp-poisson"));
  d.run.switchOffAfter = 0;
  d.run.steps = 1000000000;
  for (GroupSpec& g : d.groups) {
    g.parameters.switching = 0;
    g.parameters.switchProb = 0;
    g.parameters.stdpRate = 0;
    if (g.name == "rsvr" && reservoir > 0) g.size = reservoir;
  }
  for (PathwaySpec& p : d.pathways) {
    p.startActive = true;
    if (perUnit > 0) {
      p.rule = ConnectionRule::fixed;
      p.perUnit = perUnit;
    }
  }
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc > 1 ? argv[1] : "";
  Description d;
  long spikes = 0, steps = 0;
  if (kind == "scale" && argc > 2) {
    d = parseDescription(scaleNetwork(std::atol(argv[2])), "scale");
    spikes = argc > 3 ? std::atol(argv[3]) : 1000000;
  } else if (kind == "active" && argc > 3) {
    d = saturated(std::atol(argv[2]), std::atof(argv[3]));
    spikes = argc > 4 ? std::atol(argv[4]) : 1000000;
  } else if (kind == "saturated") {
    d = saturated(0, 0);
    steps = argc > 2 ? std::atol(argv[2]) : 20000;
  } else {
    std::fprintf(stderr, "usage: %s scale UNITS [SPIKES] | active UNITS PER_UNIT [SPIKES] | saturated [STEPS]\n",
                 argv[0]);
    return 2;
  }
  seedRandom(1, d.run.generator);
  SpikeCounter counter;
  Stream out(&counter);
  TraceRouting routing;
  routing.kinds = trace::bit(trace::Kind::spk);

  const double before = peakBytes();
  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<Simulation> sim = makeSimulation(d, out, routing, nullptr);
  const double buildSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double buildBytes = peakBytes() - before;
  long units = 0;
  for (const GroupSpec& g : d.groups) units += g.size;
  // Exact for the fixed rule; the saturated case's pairwise rule makes
  // within a few tenths of a percent of these.
  double synapses = 0;
  for (const PathwaySpec& p : d.pathways) synapses += expectedSynapses(d, p);

  RunWatch watch;
  start = std::chrono::steady_clock::now();
  if (steps > 0) {
    sim->run(steps, watch);
  } else {
    while (counter.lines < spikes) {
      sim->run(100, watch);
      out.flush();
    }
  }
  out.flush();
  const double runSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto events = static_cast<double>(sim->eventsAdded());
  std::printf("%-9s %9ld %11.0f %8.2f %7.1f %9.1f %6.1f %10ld %12.0f %10.1f %11.0f %8.2f %7.1f\n", kind.c_str(), units,
              synapses, buildSeconds, buildSeconds / synapses * 1e9, buildBytes / 1e6, buildBytes / synapses,
              counter.lines, events, sim->now(), events / sim->now(), runSeconds, runSeconds / events * 1e9);
  return 0;
}
