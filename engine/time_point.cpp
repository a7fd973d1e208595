#include "net1.h"

namespace net1 {

int execNextTimePoint(EventQueue* q, double horizon) {
  if (!q) fatal("event queue is NULL");
  Event* first = earliestEvent(q);
  if (!first) return 0;
  if (first->time >= horizon) return 0;  // the horizon itself belongs to the next call
  const double now = first->time;
  q->now = now;
  beginTimePoint(q);

  // Pass 1: sum all input of this instant before any unit is updated. The
  // amount of an event for a refractory unit stays pending in its input.
  for (Event* e = earliestEvent(q); e && e->time == now;) {
    Unit* u = e->unit;
    u->input += e->amount;
    if (static_cast<double>(u->group->refractory) > e->time - u->lastSpike) {
      e = deleteEvent(e, q);
    } else if (e->amount == 0) {
      e = deleteEvent(e, q);
    } else {
      e = e->prev;
    }
  }

  // Pass 2: one update per unit, by its earliest surviving event; only the
  // events of units that fired stay for pass 3.
  for (Event* e = earliestEvent(q); e && e->time == now;) {
    Unit* u = e->unit;
    if (e->time == u->lastUpdate || u->input == 0 || !updateAndFireUnit(e, q)) {
      e = deleteEvent(e, q);
    } else {
      e = e->prev;
    }
  }

  // Pass 3: propagate after every unit of the instant has been updated.
  for (Event* e = earliestEvent(q); e && e->time == now;) {
    tuneAndPropagate(e->unit, q);
    e = deleteEvent(e, q);
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
