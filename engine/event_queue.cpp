#include <cstdio>

#include "event_store.h"

namespace net1::NET1_EDITION_NAMESPACE {

EventStore* pendingStore(EventQueue* q) {
  if (!q->pending) q->pending = makeEventStore();
  return q->pending;
}

[[noreturn, gnu::cold]] void tooManyPending(const EventQueue* q) {
  static char message[96];
  std::snprintf(message, sizeof message, "more events pending than %u: the network's activity grows without end",
                pendingLimit(q));
  fatal(message);
}

void addEvent(EventQueue* q, double delay, float amount, Unit* unit, Synapse* synapse) {
  if (!unit || !q) fatal("unit or q is NULL");
  storeEvent(pendingStore(q), delay + q->now, eventTarget(unit, synapse && synapse->pre->excitatory), amount);
  if (++q->count > pendingLimit(q)) tooManyPending(q);
  ++q->added;
}

void addEventAt(EventQueue* q, double time, float amount, Unit* unit, Synapse* synapse) {
  if (!unit || !q) fatal("unit or q is NULL");
  storeEvent(pendingStore(q), time, eventTarget(unit, synapse && synapse->pre->excitatory), amount);
  if (++q->count > pendingLimit(q)) tooManyPending(q);
  ++q->added;
}

const Event* earliestEvent(EventQueue* q) { return q->pending ? earliestStored(q->pending) : nullptr; }

const Event* deleteEvent(const Event* event, EventQueue* q) {
  if (!event || !q || event != earliestEvent(q)) return nullptr;
  dropEarliest(q->pending);
  --q->count;
  return earliestEvent(q);
}

int freeQueue(EventQueue* q) {
  if (!q) return 0;
  if (q->pending) freeEventStore(q->pending);  // events still pending go with it
  freeRecord(q);
  return 1;
}

}  // namespace net1::NET1_EDITION_NAMESPACE
