#include <cstdlib>

#include "net1.h"
#include "pending_events.h"

namespace net1 {

namespace {

// The list's insertion walk and removals are kept out of line, off the path
// every event of the fast store takes.
[[gnu::noinline]] Event* listAdd(EventQueue* q, double t) {
  Event* found = q->head;
  while (found && !(t >= found->time)) found = found->next;
  Event* e = allocRecord<Event>();
  if (found) {
    e->next = found;
    e->prev = found->prev;
    if (found->prev) {
      found->prev->next = e;
    } else {
      q->head = e;
    }
    found->prev = e;
  } else if (q->tail) {
    e->prev = q->tail;
    q->tail->next = e;
    q->tail = e;
  } else {
    q->head = q->tail = e;
  }
  return e;
}

// Takes an event out of the queue's doubly linked list (the whole list, or
// the block of the current time point) and returns its former `prev`.
Event* unlink(Event* e, EventQueue* q) {
  Event* p = e->prev;
  Event* n = e->next;
  if (p) {
    p->next = n;
  } else {
    q->head = n;
  }
  if (n) {
    n->prev = p;
  } else {
    q->tail = p;
  }
  return p;
}

[[gnu::noinline]] Event* listDelete(Event* e, EventQueue* q) {
  Event* p = unlink(e, q);
  std::free(e);
  --q->count;
  return p;
}

// Deleting from the fast store answers what the list would: the event that
// follows in processing order. For the block of the current time point that
// is its neighbour, or past the block the earliest event still stored.
Event* blockDelete(Event* e, EventQueue* q) {
  PendingEvents* pending = q->pending;
  Event* p = unlink(e, q);
  Event* following = p ? p : pending->top();
  pending->release(e);
  --q->count;
  return following;
}

[[gnu::noinline]] Event* storeDelete(Event* e, EventQueue* q) {
  PendingEvents* pending = q->pending;
  bool found = false;
  Event* following = pending->remove(e, found);
  if (!found) return nullptr;  // not pending here
  pending->release(e);
  --q->count;
  return following;
}

}  // namespace

[[gnu::noinline]] PendingEvents* makeStore(EventQueue* q) {
  q->pending = new PendingEvents;
  return q->pending;
}

Event* addToList(EventQueue* q, double time, float amount, Unit* unit, Synapse* synapse) {
  Event* e = listAdd(q, time);
  fillEvent(e, q, time, amount, unit, synapse);
  return e;
}

Event* addEvent(EventQueue* q, double delay, float amount, Unit* unit, Synapse* synapse) {
  return enqueueEvent(q, delay, amount, unit, synapse);
}

Event* deleteEvent(Event* event, EventQueue* q) {
  if (!event || !q) return nullptr;
  if (q->referenceList) return listDelete(event, q);
  return event->inBlock ? blockDelete(event, q) : storeDelete(event, q);
}

Event* earliestEvent(const EventQueue* q) {
  if (q->tail) return q->tail;
  if (q->referenceList) return q->head;
  return q->pending ? q->pending->top() : nullptr;
}

void beginTimePoint(EventQueue* q) {
  if (q->referenceList || !q->pending) return;
  PendingEvents* pending = q->pending;
  const double now = q->now;
  for (Event* e = pending->top(); e && e->time == now; e = pending->top()) {
    pending->popTop();
    e->inBlock = 1;
    e->prev = nullptr;
    e->next = q->head;
    if (q->head) {
      q->head->prev = e;
    } else {
      q->tail = e;
    }
    q->head = e;
  }
}

int freeQueue(EventQueue* q) {
  if (!q) return 0;
  if (q->referenceList) {
    for (Event* e = q->head; e;) {
      Event* next = e->next;
      std::free(e);
      e = next;
    }
  }
  delete q->pending;  // every event of the fast store lives in its pool
  std::free(q);
  return 1;
}

}  // namespace net1
