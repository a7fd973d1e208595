// Executing time points: the three passes over the events of an instant,
// and the update of a unit by its event, inline in them.
#if defined(__SSE__)
#include <immintrin.h>
#endif

#include "decay.h"
#include "event_store.h"
#include "trace_lines.h"

namespace net1::NET1_EDITION_NAMESPACE {
namespace {

// Only input through a synapse from an excitatory unit adapts a threshold.
bool adapts(const Event* event, const Group* g) { return event->excitatorySynapse && g->thrUpRate > 0; }

// The rest of an update that ends in a spike, about one in ten.
[[gnu::noinline]] void fire(const Event* event, Unit* u, Group* g, EventQueue* q) {
  u->potential = u->resetPotential;
  u->lastSpike = event->time;
  if (adapts(event, g)) {
    u->threshold = u->threshold + g->thrUpRate * (g->thrCeiling - u->threshold);
    if (q->plasticityLog) {
      trace::line<trace::Kind::uthr>(*q->plasticityLog, q->now, g->name, u->id, u->excitatory, g->thrUpRate,
                                     u->threshold);
    }
  }
  // The unit propagates at the end of this instant: the synapses that
  // will carry its spike are fetched meanwhile.
  if (const OutputChain* out = u->postSynapses) {
    for (const ActiveOutput& on : out->active) __builtin_prefetch(on.synapse);
  }
  updatePreSynapses(u, q);
  if (q->spikeLog) {
    trace::line<trace::Kind::spk>(*q->spikeLog, q->now, g->name, u->id, u->excitatory,
                                  static_cast<std::int32_t>(q->count));
  }
}

// Windows close lazily, at the group's first update after their end; one
// line covers every window that elapsed since the previous line.
[[gnu::noinline]] void sumVoltage(Unit* u, Group* g, float old, EventQueue* q) {
  if (q->now > g->nextVoltTime) {
    if (q->voltLog) {
      trace::line<trace::Kind::volt>(*q->voltLog, g->name, g->nextVoltTime, g->voltInputSum, g->voltChangeSum);
    }
    g->voltInputSum = 0;
    g->voltChangeSum = 0;
    while (q->now > g->nextVoltTime) g->nextVoltTime += g->voltPeriod;
  }
  g->voltInputSum += u->input;
  g->voltChangeSum += u->potential - old;
}

// `x < 0 ? 0 : x` (so -0 and NaN stay as they are), without a branch:
// whether input drives a unit below zero is not predictable. maxss
// returns its second operand unless the first is greater.
inline float zeroIfNegative(float x) {
#if defined(__SSE__)
  return _mm_cvtss_f32(_mm_max_ss(_mm_setzero_ps(), _mm_set_ss(x)));
#else
  return x < 0 ? 0.0f : x;
#endif
}

// Inline in every pass: nearly every event makes an update.
[[gnu::always_inline]] inline int update(const Event* event, EventQueue* q) {
  Unit* u = event->unit;
  Group* g = u->group;
  const float old = u->potential;

  // Closed-form leak over the whole time since the last update; the pending
  // input is added after the decay.
  const double x = -(event->time - u->lastUpdate) * static_cast<double>(u->leak);
  // A unit at rest decays to the same zero whatever the factor, as long as
  // the factor is finite (exp(x) is for x <= 709): exp is skipped.
  const float decayed = old == 0 && x <= 709.0 ? old : static_cast<float>(decayFactor(x) * static_cast<double>(old));
  const float potential = decayed + u->input;
  u->potential = zeroIfNegative(potential);

  const int fired = u->potential >= u->threshold;
  if (fired) {
    fire(event, u, g, q);
  } else if constexpr (kEdition2) {
    if (adapts(event, g)) {
      const float rate = g->thrUpRate * g->thrDownScale;
      u->threshold = u->threshold + rate * (g->thrFloor - u->threshold);
      if (q->plasticityLog) {
        trace::line<trace::Kind::dthr>(*q->plasticityLog, q->now, g->name, u->id, u->excitatory, rate, u->threshold);
      }
    }
  }
  if (g->voltPeriod > 0) sumVoltage(u, g, old, q);

  u->input = 0;
  u->lastUpdate = event->time;
  return fired;
}

// The three passes, for one event each, inline in both paths below. A pass
// drops an event by forgetting its unit; `count` includes every event not
// yet dropped.
void drop(Event& e, EventQueue* q) {
  e.unit = nullptr;
  --q->count;
}

// Pass 1: sum all input of this instant before any unit is updated. The
// amount of an event for a refractory unit stays pending in its input.
[[gnu::always_inline]] inline void sumInput(Event& e, EventQueue* q) {
  Unit* u = e.unit;
  u->input += e.amount;
  if (static_cast<double>(u->group->refractory) > e.time - u->lastSpike || e.amount == 0) {
    drop(e, q);
  } else if (u->potential + u->input >= u->threshold) {
    // It may fire (its potential only decays): the chains it would walk
    // are fetched from here on.
    __builtin_prefetch(u->postSynapses);
    __builtin_prefetch(u->preSynapses);
  }
}

// Pass 2: one update per unit, by its earliest surviving event; only the
// events of units that fired stay for pass 3.
[[gnu::always_inline]] inline void updateUnit(Event& e, EventQueue* q) {
  if (e.unit && (e.time == e.unit->lastUpdate || e.unit->input == 0 || !update(&e, q))) drop(e, q);
}

// Pass 3: propagate after every unit of the instant has been updated. New
// events lie in the store, not in the block.
void propagate(Event& e, EventQueue* q) {
  if (!e.unit) return;
  tuneAndPropagate(e.unit, q);
  --q->count;
}

// Executes the next time point before `horizon`, if there is one, in the
// queue's store.
bool executeNext(EventQueue* q, EventStore* store, double horizon) {
  // The horizon itself belongs to the next call.
  std::span<Event> block = takeTimePoint(store, horizon);
  if (block.empty()) return false;
  q->now = block.front().time;
  if (block.size() == 1) {  // nearly always: no loops
    sumInput(block.front(), q);
    updateUnit(block.front(), q);
    propagate(block.front(), q);
    return true;
  }
  for (Event& e : block) sumInput(e, q);
  for (Event& e : block) updateUnit(e, q);
  for (Event& e : block) propagate(e, q);
  return true;
}

}  // namespace

int updateAndFireUnit(const Event* event, EventQueue* q) {
  if (!event || !q) fatal("event or q is NULL");
  return update(event, q);
}

int execNextTimePoint(EventQueue* q, double horizon) {
  if (!q) fatal("event queue is NULL");
  return q->pending && executeNext(q, q->pending, horizon);
}

double runUntil(EventQueue* q, double horizon) {
  if (!q) fatal("event queue is NULL");
  // Only executing events adds events: without a store there are none.
  if (EventStore* store = q->pending) {
    while (executeNext(q, store, horizon)) {
    }
  }
  q->now = horizon;
  return horizon;
}

double runForward(EventQueue* q, double interval) {
  if (!q) fatal("event queue is NULL");
  return runUntil(q, interval + q->now);
}

}  // namespace net1::NET1_EDITION_NAMESPACE
