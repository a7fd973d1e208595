// Random small networks with every feature switched on, for tests that run
// the same experiment twice under different conditions and compare.
#pragma once

#include <cstdio>
#include <random>
#include <string>

#include "sandbox.h"

namespace net1::testing {

struct RunConditions {
  bool spikeLog = true, plasticityLog = true, switchLog = true, voltLog = true;
  bool queued = false;  // lines formatted on the stream's own thread
  int markEvery = 0;    // > 0: a line written directly to the stream every so many steps
  // Groups of over a thousand units (several blocks of units each), nine
  // synapses per unit with delays of any value, busy enough that the
  // store's buckets hold dozens of events at distinct times.
  bool large = false;
};

struct RunResult {
  std::string trace;  // every line written to the streams that were set
  std::string state;  // every field of every record afterwards, exactly
  bool queued = false;  // the lines were in fact formatted on a thread
};

inline void dumpState(std::string& out, const Sandbox& box) {
  char line[512];
  for (const Group* g : box.groups) {
    std::snprintf(line, sizeof line, "group %s %a %a %a\n", g->name, static_cast<double>(g->voltInputSum),
                  static_cast<double>(g->voltChangeSum), g->nextVoltTime);
    out += line;
    for (std::uint32_t id = 0; id < g->units->count; ++id) {
      const Unit* u = unitById(g, id);
      std::snprintf(line, sizeof line, "unit %d %a %a %a %a %a %d %d\n", u->id, static_cast<double>(u->potential),
                    static_cast<double>(u->threshold), static_cast<double>(u->input), u->lastUpdate, u->lastSpike,
                    u->marked, u->markCount);
      out += line;
      if (!u->postSynapses) continue;
      for (const Synapse* s : u->postSynapses->all) {
        std::snprintf(line, sizeof line, "syn %d %a %d %a\n", s->post->id, static_cast<double>(s->weight), s->active,
                      s->lastSwitch);
        out += line;
      }
    }
  }
  std::snprintf(line, sizeof line, "queue %u %a next draw %d\n", box.q->count, box.q->now, nextRandom());
  out += line;
}

// Builds and runs one random network from `seed` under `when`.
inline RunResult runRandomNetwork(unsigned seed, const RunConditions& when, int steps = 400) {
  std::mt19937 rng(seed);
  auto uniform = [&](double lo, double hi) { return static_cast<float>(std::uniform_real_distribution<double>(lo, hi)(rng)); };
  Sandbox box;
  box.q->spikeLog = when.spikeLog ? &box.stream : nullptr;
  box.q->plasticityLog = when.plasticityLog ? &box.stream : nullptr;
  box.q->switchLog = when.switchLog ? &box.stream : nullptr;
  box.q->voltLog = when.voltLog ? &box.stream : nullptr;
#if NET1_EDITION == 2
  box.q->rateFactor = uniform(0.5, 2.0);
#endif
  const char* names[] = {"in", "mid", "out"};
  Group* groups[3];
  for (int i = 0; i < 3; ++i) {
    const int size = when.large ? 1100 + static_cast<int>(rng() % 600) : 4 + static_cast<int>(rng() % 8);
    Group* g = groups[i] = box.group(names[i], size);
    g->switching = rng() % 4 != 0;
    g->switchProb = uniform(0.0, 0.6);
    g->stdpRate = rng() % 3 ? uniform(0.0, 0.05) : 0.0f;
    g->thrUpRate = rng() % 2 ? uniform(0.0, 0.3) : 0.0f;
    g->thrDownScale = uniform(0.0, 1.0);
    g->thrCeiling = uniform(1.5, 3.0);
    g->thrFloor = uniform(0.5, 1.0);
    g->refractory = rng() % 2 ? uniform(0.0, 1.0) : 0.0f;
    g->weightMin = uniform(0.1, 0.5);
    g->weightMax = uniform(1.0, 2.0);
    g->voltPeriod = rng() % 2 ? 0.5 * static_cast<double>(1 + rng() % 4) : 0.0;
    for (std::uint32_t id = g->units->count; id-- > 0;) {
      Unit* u = unitById(g, id);
      u->excitatory = rng() % 4 != 0;
      u->threshold = uniform(0.5, 1.5);
      u->resetPotential = uniform(0.0, 0.5);
      u->leak = uniform(0.0, 1.0);
    }
  }
  seedRandom(seed);
  for (Group* from : groups) {
    for (Group* to : groups) {
      for (std::uint32_t i = from->units->count; i-- > 0;) {
        if (when.large) {
          // Appended and ordered once, as a large build is.
          for (int k = 0; k < 3; ++k) {
            Unit* post = unitById(to, static_cast<std::uint32_t>(rng() % to->units->count));
            // Half the delays within four buckets of the store: a burst crowds them.
            const float delay = rng() % 2 ? uniform(0.0, 3.0) : uniform(1.0, 1.004);
            appendSynapse(unitById(from, i), post, delay, uniform(0.1, 0.6), rng() % 4 == 0);
          }
          continue;
        }
        for (std::uint32_t j = to->units->count; j-- > 0;) {
          if (rng() % 3 != 0) continue;
          // Quarter-unit delays make many events share a time point.
          Synapse* s = link(unitById(from, i), unitById(to, j), 0.25f * static_cast<float>(1 + rng() % 8), uniform(0.2, 1.2));
          if (s && rng() % 2) on(s);
        }
      }
    }
  }
  if (when.large) {
    for (Group* g : groups) orderChains(g);
  }
  if (when.queued) box.stream.formatOnThread();
  for (int step = 0; step < steps; ++step) {
    if (when.markEvery > 0 && step % when.markEvery == 0) box.stream.text("mark ").integer(step).put('\n');
    runForward(box.q, 0.25 * static_cast<double>(rng() % 3));
    for (int k = when.large ? 40 : 1; k-- > 0;) {
      Group* g = groups[rng() % 3];
      addEvent(box.q, 0.0, uniform(-0.5, 2.0), unitById(g, static_cast<std::uint32_t>(rng() % g->units->count)), nullptr);
    }
  }
  RunResult result;
  result.queued = box.stream.queues();
  box.stream.formatHere();
  result.trace = box.take();
  dumpState(result.state, box);
  return result;
}

}  // namespace net1::testing
