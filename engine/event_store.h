// The store of pending events behind the event queue. Events come out in
// order of time and, among equal times, in the order they went in.
//
// The engine's store is event_store.cpp; the tests and benchmarks link the
// plain list that it replaced in its place, to compare the two.
#pragma once

#include <span>

#include "net1.h"

namespace net1::NET1_EDITION_NAMESPACE {

EventStore* makeEventStore();
// The queue's store, made on first use. The engine adds the events of a
// spike through it directly (addEvent is the same for one event).
EventStore* pendingStore(EventQueue* q);
void freeEventStore(EventStore* store);
void storeEvent(EventStore* store, const Event& event);
// The earliest pending event, or null; valid until the store changes.
const Event* earliestStored(EventStore* store);
void dropEarliest(EventStore* store);
// Takes out every event at the earliest time, if that lies before
// `horizon`, in the order they went in (none otherwise); valid until the
// next call.
std::span<Event> takeTimePoint(EventStore* store, double horizon);

}  // namespace net1::NET1_EDITION_NAMESPACE
