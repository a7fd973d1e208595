#include "event_store.h"

namespace net1 {

int execNextTimePoint(EventQueue* q, double horizon) {
  if (!q) fatal("event queue is NULL");
  // The horizon itself belongs to the next call.
  std::span<Event> block = q->pending ? takeTimePoint(q->pending, horizon) : std::span<Event>{};
  if (block.empty()) return 0;
  q->now = block.front().time;

  // A pass drops an event by forgetting its unit; `count` includes every
  // event not yet dropped.
  auto drop = [q](Event& e) {
    e.unit = nullptr;
    --q->count;
  };

  // Pass 1: sum all input of this instant before any unit is updated. The
  // amount of an event for a refractory unit stays pending in its input.
  for (Event& e : block) {
    Unit* u = e.unit;
    u->input += e.amount;
    if (static_cast<double>(u->group->refractory) > e.time - u->lastSpike || e.amount == 0) {
      drop(e);
    } else if (u->potential + u->input >= u->threshold) {
      // It may fire (its potential only decays): the chains it would walk
      // are fetched from here on.
      __builtin_prefetch(u->postSynapses);
      __builtin_prefetch(u->preSynapses);
    }
  }

  // Pass 2: one update per unit, by its earliest surviving event; only the
  // events of units that fired stay for pass 3.
  for (Event& e : block) {
    if (!e.unit) continue;
    if (e.time == e.unit->lastUpdate || e.unit->input == 0 || !updateAndFireUnit(&e, q)) drop(e);
  }

  // Pass 3: propagate after every unit of the instant has been updated.
  // New events lie in the store, not in this block.
  for (Event& e : block) {
    if (!e.unit) continue;
    tuneAndPropagate(e.unit, q);
    --q->count;
  }
  return 1;
}

double runForward(EventQueue* q, double interval) {
  if (!q) fatal("event queue is NULL");
  const double horizon = interval + q->now;
  while (execNextTimePoint(q, horizon)) {
  }
  q->now = horizon;
  return horizon;
}

}  // namespace net1
