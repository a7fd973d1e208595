#include <algorithm>
#include <cmath>
#include <limits>

#include "decay.h"
#include "event_store.h"
#include "net1.h"
#include "trace_lines.h"

namespace net1::NET1_EDITION_NAMESPACE {
namespace {

// The sign of an STDP change by the pre unit's kind, looked up rather
// than branched on: which kind a synapse's pre unit is is not predictable.
constexpr double kSign[2] = {-1.0, 1.0};

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

// The time since a spike beyond which an STDP change of `rate` leaves every
// weight within the group's bounds as it is, so that the step is skipped
// (most pairs of spikes lie far apart: exp-stdp-av spends most of its STDP
// time on such steps); infinite when no such time is known. With the
// bounds at least 2^e, the gap between floats at or below a weight is at
// least 2^(e-24): a change below 2^(e-26), as a double and rounded to a
// float, rounds away in the sum, and the weight, within its bounds, is not
// clamped. The extra 1 covers the error of exp and log.
double changeRoundsAwayAfter(const Group* bounds, float rate) {
  struct Known {
    float rate = 0, weightMin = 0, weightMax = 0;
    double after = std::numeric_limits<double>::infinity();
  };
  static Known known;  // one group's answer: a run has one rate and one set of bounds, or a few
  if (rate == known.rate && bounds->weightMin == known.weightMin && bounds->weightMax == known.weightMax) {
    return known.after;
  }
  known = Known{rate, bounds->weightMin, bounds->weightMax};
  if (bounds->weightMin > 0 && std::isfinite(bounds->weightMax) && rate > 0 && std::isfinite(rate)) {
    int exponent = 0;
    std::frexp(bounds->weightMin, &exponent);  // weightMin >= 2^(exponent - 1)
    known.after = std::log(static_cast<double>(rate)) - (exponent - 1 - 26) * std::log(2.0) + 1.0;
  }
  return known.after;
}

// Whether the step may be skipped: it would change nothing, and no line
// reports it.
bool changeRoundsAway(double since, double after, float weight, const Group* bounds) {
  return since > after && weight >= bounds->weightMin && weight <= bounds->weightMax;
}

float switchOnProbability(const Group* g, const EventQueue* q) {
  if constexpr (kEdition2) return g->switchProb * q->rateFactor;
  return g->switchProb;
}

float switchOffProbability(const Group* g, const EventQueue* q) {
  if constexpr (kEdition2) {
    return static_cast<float>((1.0 / static_cast<double>(q->rateFactor)) * static_cast<double>(g->switchProb));
  }
  return g->switchProb;
}

// The switch-off candidate: the active synapse switched most recently,
// the first in chain order among equals and never one last switched at
// time 0 or before, whose pre unit's group switches. The latest switch is
// found first, reading no synapse and without a branch, since where the
// maximum moves is not predictable; only when its group does not switch,
// which is rare, is the list searched again. When no pre group switches,
// there is none, and no synapse is read.
Synapse* switchOffCandidate(const InputChain& in) {
  bool switches = false;
  for (const Group* g : in.preGroups) switches |= g->switching != 0;
  if (!switches) return nullptr;
  const std::vector<ActiveSynapse>& active = in.active;
  std::size_t latest = active.size();
  double best = 0.0;
  for (std::size_t i = 0; i < active.size(); ++i) {
    const bool later = active[i].lastSwitch > best;
    best = later ? active[i].lastSwitch : best;
    latest = later ? i : latest;
  }
  if (latest == active.size()) return nullptr;
  if (active[latest].synapse->pre->group->switching) return active[latest].synapse;
  Synapse* candidate = nullptr;
  best = 0.0;
  for (const ActiveSynapse& on : active) {
    if (on.lastSwitch > best && on.synapse->pre->group->switching) {
      candidate = on.synapse;
      best = on.lastSwitch;
    }
  }
  return candidate;
}

}  // namespace

int tuneAndPropagate(Unit* unit, EventQueue* q) {
  if (!unit || !q) fatal("unit or q is NULL");
  const OutputChain* out = unit->postSynapses;
  if (!out) return 0;
  Group* g = unit->group;
  const double now = q->now;
  const bool stdp = g->stdpRate > 0;
  const float sign = unit->excitatory ? 1.0f : -1.0f;

  // Exactly one draw per call, whatever the network holds. Nothing below
  // draws, so drawing first leaves the sequence of draws as it is, and the
  // search for a candidate is needed only when the draw succeeds.
  const bool switchOn = randProb(switchOnProbability(g, q));

  // Active synapses carry the spike, in chain order, with the weights from
  // before the STDP change; then they learn, in the same order. The events
  // go straight into the store, which nothing else touches meanwhile.
  EventStore* store = pendingStore(q);
  const std::uint32_t kind = unit->excitatory ? kExcitatorySynapse : 0;
  for (const ActiveOutput& on : out->active) {
    storeEvent(store, static_cast<double>(on.delay) + now, on.post | kind, on.synapse->weight * sign);
  }
  q->count += static_cast<std::uint32_t>(out->active.size());
  if (q->count > pendingLimit(q)) tooManyPending(q);
  q->added += out->active.size();
  if (stdp) {
    const double after =
        q->plasticityLog ? std::numeric_limits<double>::infinity() : changeRoundsAwayAfter(g, g->stdpRate);
    for (const ActiveOutput& on : out->active) {
      Synapse* s = on.synapse;
      const Unit* post = s->post;
      if (changeRoundsAway(now - post->lastSpike, after, s->weight, g)) continue;
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
    for (Synapse* s : out->all) {
      if (!s->active && now - s->lastSwitch > best) {
        candidate = s;
        best = now - s->lastSwitch;
      }
    }
    if (candidate) {
      switchSynapse(candidate, true, now);
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
  const InputChain* in = unit->preSynapses;
  if (stdp) {
    for (const ActiveSynapse& on : in->active) __builtin_prefetch(on.synapse);  // all at once, not one after the other
    const Group* known = nullptr;  // the pre group whose `after` is known: pre units come in few groups
    double after = std::numeric_limits<double>::infinity();
    for (const ActiveSynapse& on : in->active) {
      Synapse* s = on.synapse;
      const Unit* pre = s->pre;
      const Group* pg = pre->group;
      if (pg != known && !q->plasticityLog) {
        known = pg;
        after = changeRoundsAwayAfter(pg, pg->stdpRate);
      }
      if (changeRoundsAway(now - pre->lastSpike, after, s->weight, pg)) continue;
      const float change = stdpChange(kSign[pre->excitatory != 0], now - pre->lastSpike, pg->stdpRate);
      s->weight = clampWeight(s->weight + change, pg);
      if (q->plasticityLog) {
        trace::line<trace::Kind::ustdp>(*q->plasticityLog, now, pg->name, pre->id, pre->excitatory,
                                        unit->group->name, unit->id, change, s->weight);
      }
    }
  }

  Synapse* candidate = switchOffCandidate(*in);
  if (!candidate) return 1;

  // Only a pre unit that has not propagated since it was last marked can
  // lose the synapse; the mark is set whatever the draw said.
  Unit* pre = candidate->pre;
  if (pre->marked && randProb(switchOffProbability(unit->group, q))) {
    switchSynapse(candidate, false, now);
    if (q->switchLog) {
      trace::line<trace::Kind::swoff>(*q->switchLog, now, pre->group->name, pre->id, pre->excitatory,
                                      unit->group->name, unit->id);
    }
  }
  ++pre->markCount;
  pre->marked = 1;
  return 1;
}

}  // namespace net1::NET1_EDITION_NAMESPACE
