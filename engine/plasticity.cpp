#include <algorithm>

#include "chains.h"
#include "decay.h"
#include "net1.h"
#include "pending_events.h"
#include "trace_lines.h"

namespace net1 {
namespace {

// How far ahead a chain walk asks for synapses: most of them are switched
// off and only their flag is read, so the walk is bound by memory latency.
constexpr std::uint32_t kAhead = 16;

// One STDP step on a synapse's weight: the change is formed in double
// precision and rounded once, the sum and the clamp are single precision,
// and the upper bound is tested first.
float stdpChange(double sign, double sinceSpike, float rate) {
  const double term = decayFactor(-sinceSpike);
  return static_cast<float>(sign * (term * static_cast<double>(rate)));
}

float clampWeight(float w, const Group* bounds) {
  return w > bounds->weightMax ? bounds->weightMax : std::max(bounds->weightMin, w);
}

float switchOnProbability(const Group* g, const EventQueue* q) {
#if NET1_EDITION == 2
  return g->switchProb * q->rateFactor;
#else
  (void)q;
  return g->switchProb;
#endif
}

float switchOffProbability(const Group* g, const EventQueue* q) {
#if NET1_EDITION == 2
  return static_cast<float>((1.0 / static_cast<double>(q->rateFactor)) * static_cast<double>(g->switchProb));
#else
  (void)q;
  return g->switchProb;
#endif
}

}  // namespace

int tuneAndPropagate(Unit* unit, EventQueue* q) {
  if (!unit || !q) fatal("unit or q is NULL");
  SynapseList* out = unit->postSynapses;
  if (!out) return 0;
  Group* g = unit->group;
  const double now = q->now;
  const bool stdp = g->stdpRate > 0;
  const float sign = unit->excitatory ? 1.0f : -1.0f;

  // Exactly one draw per call, whatever the network holds. Nothing below
  // draws, so drawing first leaves the sequence of draws as it is, and the
  // search for a candidate is needed only when the draw succeeds.
  const bool switchOn = randProb(switchOnProbability(g, q));

  // Active synapses carry the spike (with the weight from before the STDP
  // change) and learn, in chain order.
  Synapse* const* active = activeInOrder(out, false);
  const std::uint32_t n = out->activeCount;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(active[i + kAhead]);
    Synapse* s = active[i];
    Unit* post = s->post;
    enqueueEvent(q, static_cast<double>(s->delay), s->weight * sign, post, s);
    if (stdp) {
      const float change = stdpChange(unit->excitatory ? -1.0 : 1.0, now - post->lastSpike, g->stdpRate);
      s->weight = clampWeight(s->weight + change, g);
      if (q->plasticityLog) {
        trace::line<trace::Kind::dstdp>(*q->plasticityLog, now, g->name, unit->id, unit->excitatory,
                                        post->group->name, post->id, change, s->weight);
      }
    }
  }

  // A marked unit switches nothing on. Otherwise the candidate is the
  // switched-off synapse that has waited longest, the first in chain order
  // among equals, and only if it has waited at all.
  if (switchOn && !unit->marked && g->switching) {
    Synapse* candidate = nullptr;
    double best = 0.0;
    Synapse* const* all = chainInOrder(out, false);
    const double* offSince = out->switchedOffSince;  // +infinity for active synapses
    for (std::uint32_t i = 0; i < out->count; ++i) {
      const double gap = now - offSince[i];
      if (gap > best) {
        candidate = all[i];
        best = gap;
      }
    }
    if (candidate) {
      candidate->active = 1;
      candidate->lastSwitch = now;
      if (q->switchLog) {
        trace::line<trace::Kind::swon>(*q->switchLog, now, g->name, unit->id, unit->excitatory,
                                       candidate->post->group->name, candidate->post->id);
      }
    }
  }
  if (q->switchLog) {
    trace::line<trace::Kind::nmp>(*q->switchLog, now, g->name, unit->id, unit->excitatory, unit->markCount);
  }
  unit->marked = 0;
  unit->markCount = 0;
  return 1;
}

int updatePreSynapses(Unit* unit, EventQueue* q) {
  if (!unit || !unit->preSynapses) return 0;
  const double now = q->now;
  const bool stdp = unit->group->stdpRate > 0;

  // The switch-off candidate is the active synapse switched most recently
  // (the first in chain order among equals) whose pre unit's group switches.
  Synapse* candidate = nullptr;
  double best = 0.0;
  SynapseList* in = unit->preSynapses;
  Synapse* const* active = activeInOrder(in, true);
  const std::uint32_t n = in->activeCount;
  if (stdp) {
    for (std::uint32_t i = 0; i < n; ++i) {
      if (i + kAhead < n) __builtin_prefetch(active[i + kAhead]);
      Synapse* s = active[i];
      Unit* pre = s->pre;
      if (pre->group->switching && s->lastSwitch > best) {
        candidate = s;
        best = s->lastSwitch;
      }
      const Group* pg = pre->group;
      const float change = stdpChange(pre->excitatory ? 1.0 : -1.0, now - pre->lastSpike, pg->stdpRate);
      s->weight = clampWeight(s->weight + change, pg);
      if (q->plasticityLog) {
        trace::line<trace::Kind::ustdp>(*q->plasticityLog, now, pg->name, pre->id, pre->excitatory,
                                        unit->group->name, unit->id, change, s->weight);
      }
    }
  } else {
    // Without learning only switch times are compared: they are read from
    // the copies beside the list, and a synapse itself only when its time
    // beats the best so far.
    const double* times = in->activeSwitchTimes;
    for (std::uint32_t i = 0; i < n; ++i) {
      if (times[i] > best && active[i]->pre->group->switching) {
        candidate = active[i];
        best = times[i];
      }
    }
  }
  if (!candidate) return 1;

  // Only a pre unit that has not propagated since it was last marked can
  // lose the synapse; the mark is set whatever the draw said.
  Unit* pre = candidate->pre;
  if (pre->marked && randProb(switchOffProbability(unit->group, q))) {
    candidate->active = 0;
    candidate->lastSwitch = now;
    if (q->switchLog) {
      trace::line<trace::Kind::swoff>(*q->switchLog, now, pre->group->name, pre->id, pre->excitatory,
                                      unit->group->name, unit->id);
    }
  }
  ++pre->markCount;
  pre->marked = 1;
  return 1;
}

}  // namespace net1
