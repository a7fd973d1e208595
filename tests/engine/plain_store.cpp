// The plain design of the store of pending events, which the engine's
// calendar replaced: one doubly linked list, latest event at the head, one
// allocation per event, and each new event placed by a walk from the head.
// The tests run the engine over it to compare the two stores, and the
// benchmarks to measure one against the other.
#include <cstdlib>

#include "event_store.h"

namespace net1::NET1_EDITION_NAMESPACE {

struct EventStore {
  struct Node {
    Event event;
    Node* earlier;  // towards the tail
    Node* later;    // towards the head
  };
  Node* head = nullptr;  // the latest event
  Node* tail = nullptr;  // the earliest event
  std::vector<Event> block;
};

EventStore* makeEventStore() { return new EventStore; }

void freeEventStore(EventStore* store) {
  for (EventStore::Node* n = store->head; n;) {
    EventStore::Node* earlier = n->earlier;
    std::free(n);
    n = earlier;
  }
  delete store;
}

// In front of (on the head side of) the first event from the head whose
// time is not later: equal times go first in, first out.
void storeEvent(EventStore* s, double time, std::uint32_t target, float amount) {
  const Event e = eventOf(time, target, amount);
  if (e.time != e.time) return;  // never due, as in the engine's store
  EventStore::Node* found = s->head;
  while (found && !(e.time >= found->event.time)) found = found->earlier;
  auto* n = static_cast<EventStore::Node*>(allocMem(sizeof(EventStore::Node)));
  n->event = e;
  if (found) {
    n->earlier = found;
    n->later = found->later;
    (found->later ? found->later->earlier : s->head) = n;
    found->later = n;
  } else {
    n->later = s->tail;
    (s->tail ? s->tail->earlier : s->head) = n;
    s->tail = n;
  }
}

const Event* earliestStored(EventStore* s) { return s->tail ? &s->tail->event : nullptr; }

void dropEarliest(EventStore* s) {
  EventStore::Node* n = s->tail;
  s->tail = n->later;
  (s->tail ? s->tail->earlier : s->head) = nullptr;
  std::free(n);
}

std::span<Event> takeTimePoint(EventStore* s, double horizon) {
  s->block.clear();
  if (!s->tail || s->tail->event.time >= horizon) return {};
  const double now = s->tail->event.time;
  while (s->tail && s->tail->event.time == now) {
    s->block.push_back(s->tail->event);
    dropEarliest(s);
  }
  return s->block;
}

}  // namespace net1::NET1_EDITION_NAMESPACE
