#include "description_checks.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "field_values.h"
#include "usage_error.h"

namespace net1::drivers {
namespace {

[[noreturn]] void fail(const std::string& message) { throw UsageError(message); }

// What a build costs: a unit record with its two chain headers, and a
// synapse with its two places in chains (measured: about 61 bytes).
constexpr double kBytesPerUnit = 72 + 2 * 64;
constexpr double kBytesPerSynapse = 64;

double memoryHere() {
  double bytes = static_cast<double>(::sysconf(_SC_PHYS_PAGES)) * static_cast<double>(::sysconf(_SC_PAGE_SIZE));
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit {};
    if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      bytes = std::min(bytes, static_cast<double>(limit.rlim_cur));
    }
  }
  return bytes;
}

std::string gigabytes(double bytes) {
  char text[32];
  if (bytes >= 1e12) {
    std::snprintf(text, sizeof text, "%.3g TB", bytes / 1e12);
  } else {
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  }
  return text;
}

// Every value a run prints must stay a number the trace's readers read: no
// sum of weights or inputs may overflow, and no time may stop advancing.
constexpr double kLargest = 1e9;        // a weight, an input, a delay
constexpr double kShortest = 1e-6;      // a delay: the trace's resolution of time
constexpr double kLongestRun = 1e11;    // the readers take times below 10^12
constexpr double kMostWindows = 1e9;    // voltage windows a run may close, one clock step each

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// About how long the run lasts: its steps shared among the stimuli, each
// delivering once per interval (the mean interval, for random ones).
double expectedSpan(const Description& d) {
  double rate = 0;
  for (const StimulusSpec& s : d.stimuli) rate += s.interval > 0 ? 1.0 / s.interval : 0;
  return rate > 0 ? static_cast<double>(d.run.steps) / rate : 0;
}

void checkScales(const Description& d, const std::function<std::string(const std::string&)>& named) {
  auto large = [&](const std::string& key, double v) {
    if (std::fabs(v) > kLargest) {
      fail(named(key) + " reaches " + number(v) + ": at most 1e9 in size, so that the sums the run prints stay finite");
    }
  };
  for (const StimulusSpec& s : d.stimuli) large(s.name + ".amount", s.amount);
  for (const PathwaySpec& p : d.pathways) {
    const std::string prefix = p.label() + ".";
    double shortest = 0, longest = 0;
    if (p.rule == ConnectionRule::list) {
      for (float w : p.weights) large(prefix + "weights", w);
      if (p.delays.empty()) continue;
      shortest = *std::min_element(p.delays.begin(), p.delays.end());
      longest = *std::max_element(p.delays.begin(), p.delays.end());
    } else {
      for (const Range* w : {&p.excitatoryWeight, &p.inhibitoryWeight}) {
        large(prefix + (w == &p.excitatoryWeight ? "excitatoryWeight" : "inhibitoryWeight"),
              std::max(std::fabs(w->lo), std::fabs(w->hi)));
      }
      if (p.delayDistribution == DelayDraw::uniform) {
        shortest = p.delay.lo, longest = p.delay.hi;
      } else {  // as the build computes them
        shortest = static_cast<float>(-std::log(static_cast<double>(p.delay.hi)) * p.delayScale);
        longest = static_cast<float>(-std::log(static_cast<double>(p.delay.lo)) * p.delayScale);
      }
    }
    const std::string key = prefix + (p.rule == ConnectionRule::list ? "delays"
                                      : p.delayDistribution == DelayDraw::uniform ? "delay" : "delayScale");
    if (shortest < kShortest) {
      fail(named(key) + " makes delays as short as " + number(shortest) +
           ": at least 1e-6, the trace's resolution of time, so that spikes move time on");
    }
    if (longest > kLargest) fail(named(key) + " makes delays as long as " + number(longest) + ": at most 1e9");
  }
  const double span = expectedSpan(d);
  if (span > kLongestRun) {
    fail(named("steps") + " and the stimuli's intervals make a run of about " + number(span) +
         " time units: at most 1e11, so that its times stay readable");
  }
  for (const GroupSpec& g : d.groups) {
    const double period = g.parameters.voltPeriod;
    if (period > 0 && (period < kShortest || span / period > kMostWindows)) {
      fail(named(g.name + ".voltPeriod") + " is " + number(period) + ": windows of at least 1e-6" +
           (span > 0 ? " and " + number(span / kMostWindows) + " (a run of about " + number(span) +
                           " time units closes at most 1e9 of them)"
                     : ""));
    }
  }
}

}  // namespace

std::uint32_t pendingEventLimit() {
  return static_cast<std::uint32_t>(std::min(2147483647.0, memoryHere() / 2 / 32));
}

float pairProbability(const Description& d, const PathwaySpec& p) {
  if (p.perUnit > 0) return static_cast<float>(p.perUnit / static_cast<double>(d.group(p.to)->size));
  return p.probability;
}

double expectedSynapses(const Description& d, const PathwaySpec& p) {
  const double from = static_cast<double>(d.group(p.from)->size);
  const double to = static_cast<double>(d.group(p.to)->size);
  if (p.rule == ConnectionRule::fixed) return from * p.perUnit;
  if (p.rule == ConnectionRule::list) return static_cast<double>(p.preUnits.size());
  return std::min(1.0, static_cast<double>(pairProbability(d, p))) * from * (p.from == p.to ? to - 1 : to);
}

double expectedBytes(const Description& d) {
  double bytes = 0;
  for (const GroupSpec& g : d.groups) bytes += kBytesPerUnit * static_cast<double>(g.size);
  for (const PathwaySpec& p : d.pathways) bytes += kBytesPerSynapse * expectedSynapses(d, p);
  return bytes;
}

void checkDescription(const Description& d, const Description& base,
                      const std::function<std::string(const std::string&)>& named, const std::string& missingFactor) {
  for (const GroupSpec& g : d.groups) {
    const GroupParameters& p = g.parameters;
    const std::string prefix = g.name + ".";
    if (p.weightMin > p.weightMax) {
      fail(named(prefix + "weightMin") + " is above " + named(prefix + "weightMax") + ": " + realText(p.weightMin) +
           " > " + realText(p.weightMax));
    }
    if (p.thrFloor > p.thrCeiling) {
      fail(named(prefix + "thrFloor") + " is above " + named(prefix + "thrCeiling") + ": " + realText(p.thrFloor) +
           " > " + realText(p.thrCeiling));
    }
  }
  for (const StimulusSpec& s : d.stimuli) {
    const GroupSpec* g = d.group(s.group);
    if (!g) fail(named(s.name + ".group") + ": there is no group '" + clip(s.group) + "'");
    if (s.kind == StimulusKind::xor_ && g->size % 2 != 0) {
      fail(named(g->name + ".size") + " is " + std::to_string(g->size) + ": the xor stimulus " + s.name +
           " needs an even number of units, in two halves");
    }
  }
  for (const PathwaySpec& p : d.pathways) {
    const std::string prefix = p.label() + ".";
    const GroupSpec& to = *d.group(p.to);
    if (p.rule == ConnectionRule::pairwise && p.perUnit > static_cast<double>(to.size)) {
      fail(named(prefix + "perUnit") + " is " + realText(p.perUnit) + ", more than the " + std::to_string(to.size) +
           " units of " + to.name + " (" + named(to.name + ".size") + "): a connection probability above 1");
    }
    if (p.rule == ConnectionRule::fixed) {
      const long candidates = p.from == p.to ? to.size - 1 : to.size;
      if (p.perUnit != std::floor(p.perUnit)) {
        fail(named(prefix + "perUnit") + " is " + realText(p.perUnit) + ": the fixed rule makes a whole number of "
             "synapses per unit");
      }
      if (p.perUnit > static_cast<double>(candidates)) {
        fail(named(prefix + "perUnit") + " is " + realText(p.perUnit) + ", more than the " +
             std::to_string(candidates) + " units of " + to.name + " that a unit of " + p.from +
             " can reach: the fixed rule makes its synapses to distinct units");
      }
    }
    if (p.rule == ConnectionRule::list) {
      const std::size_t n = p.preUnits.size();
      if (p.postUnits.size() != n || p.weights.size() != n || p.delays.size() != n) {
        fail(named(prefix + "preUnits") + ", postUnits, weights and delays must be lists of one length: " +
             std::to_string(n) + ", " + std::to_string(p.postUnits.size()) + ", " + std::to_string(p.weights.size()) +
             ", " + std::to_string(p.delays.size()));
      }
      const GroupSpec& from = *d.group(p.from);
      for (std::size_t i = 0; i < n; ++i) {
        if (p.preUnits[i] >= static_cast<std::uint32_t>(from.size) || p.postUnits[i] >= static_cast<std::uint32_t>(to.size)) {
          fail(named(prefix + "preUnits") + ": synapse " + std::to_string(i) + " joins unit " +
               std::to_string(p.preUnits[i]) + " of " + from.name + " (" + std::to_string(from.size) + " units) to " +
               std::to_string(p.postUnits[i]) + " of " + to.name + " (" + std::to_string(to.size) + " units)");
        }
      }
      continue;  // its delays are given, each checked not below 0
    }
    const std::string range = "[" + realText(p.delay.lo) + ", " + realText(p.delay.hi) + "]";
    if (p.delayDistribution == DelayDraw::exponential) {
      if (!(p.delay.lo > 0 && p.delay.hi < 1)) {
        fail(named(prefix + "delay") + " is " + range +
             ": exponential delays draw u inside (0, 1), so that every delay is finite and above 0");
      }
      if (!(p.delayScale > 0)) {
        fail(named(prefix + "delayScale") + " is " + realText(p.delayScale) + ": exponential delays need it above 0");
      }
    } else if (!(p.delay.lo > 0)) {
      fail(named(prefix + "delay") + " is " + range + ": every delay must be above 0");
    }
  }
  // A trial run may stop before the description's own switch-off; a
  // switch-off step chosen by hand must fall inside the run: it comes after
  // step switchOffAfter, before the next, so at the last step it never comes.
  if (d.run.switchOffAfter >= d.run.steps && d.run.switchOffAfter != base.run.switchOffAfter) {
    fail(named("switchOffAfter") + " is " + std::to_string(d.run.switchOffAfter) +
         ", not before the last step (steps = " + std::to_string(d.run.steps) +
         "): the switch-off comes after that step, before the next");
  }
  checkScales(d, named);
  if (d.run.steps > 0 && d.stimuli.empty()) {
    fail(named("steps") + " is " + std::to_string(d.run.steps) + ", but no stimulus delivers them ([[stimulus]])");
  }
  if (d.run.edition == 2 && !d.run.rateFactor && factorCanMatter(d)) fail(missingFactor);

  const double needed = expectedBytes(d);
  const double here = memoryHere();
  if (needed > here) {
    double synapses = 0, most = -1;
    long units = 0;
    std::string largest;
    for (const PathwaySpec& p : d.pathways) {
      const double n = expectedSynapses(d, p);
      synapses += n;
      if (n > most) {
        most = n;
        largest = p.label() + (p.rule == ConnectionRule::fixed || p.perUnit > 0 ? ".perUnit" : ".probability");
      }
    }
    std::string biggest;
    for (const GroupSpec& g : d.groups) {
      units += g.size;
      if (largest.empty() && (biggest.empty() || g.size > d.group(biggest.substr(0, biggest.size() - 5))->size)) {
        biggest = g.name + ".size";
      }
    }
    char counts[96];
    std::snprintf(counts, sizeof counts, "%ld units and about %.3g synapses", units, synapses);
    fail("the network needs about " + gigabytes(needed) + " (" + counts + ", most of them made by " +
         named(largest.empty() ? biggest : largest) + "), more than the " + gigabytes(here) + " of memory here");
  }
}

std::vector<std::string> descriptionNotes(const Description& d) {
  std::vector<std::string> notes;
  if (d.run.generator != Generator::lcg15) return notes;
  // The 15-bit generator draws true when p > r / 32767: a probability
  // above 0 but at most 1/32767 acts as 1/32768.
  constexpr float kStep = 1.0f / 32767.0f;
  auto note = [&](const std::string& key, float p) {
    if (p > 0 && p <= kStep) {
      notes.push_back(key + " is " + realText(p) +
                      ", which the 15-bit generator cannot represent: it draws as 1/32768 (3.05e-05); "
                      "generator = \"mt19937_64\" keeps its precision");
    }
  };
  for (const GroupSpec& g : d.groups) {
    if (g.excitatory.drawn) note(g.name + ".excitatory", g.excitatory.probability);
    note(g.name + ".switchProb", g.parameters.switchProb);
  }
  for (const PathwaySpec& p : d.pathways) {
    if (p.rule == ConnectionRule::pairwise) {
      note(p.label() + (p.perUnit > 0 ? ".perUnit / " + p.to + ".size" : ".probability"), pairProbability(d, p));
    }
  }
  return notes;
}

}  // namespace net1::drivers
