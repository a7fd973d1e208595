// The store of pending events behind the event queue. Events come out in
// order of time and, among equal times, in the order they went in.
//
// The engine's store is event_store.cpp; the tests and benchmarks link the
// plain list that it replaced in its place, to compare the two.
#pragma once

#include <span>

#include "net1.h"

namespace net1::NET1_EDITION_NAMESPACE {

// What a store keeps of an event, 16 bytes: the unit by its reference,
// and in the reference's top bit whether a synapse from an excitatory unit
// delivers it.
inline constexpr std::uint32_t kExcitatorySynapse = std::uint32_t{1} << 31;
inline std::uint32_t eventTarget(const Unit* unit, bool excitatorySynapse) {
  return unit->ref | (excitatorySynapse ? kExcitatorySynapse : 0);
}
inline Event eventOf(double time, std::uint32_t target, float amount) {
  return Event{time, unitByRef(target & ~kExcitatorySynapse), amount, static_cast<std::uint8_t>(target >> 31)};
}

EventStore* makeEventStore();
// The queue's limit of pending events, and the fatal error past it.
inline std::uint32_t pendingLimit(const EventQueue* q) { return q->pendingLimit ? q->pendingLimit : 0x7fffffffu; }
[[noreturn, gnu::cold]] void tooManyPending(const EventQueue* q);
// The queue's store, made on first use. The engine adds the events of a
// spike through it directly (addEvent is the same for one event).
EventStore* pendingStore(EventQueue* q);
void freeEventStore(EventStore* store);
void storeEvent(EventStore* store, double time, std::uint32_t target, float amount);
// The earliest pending event, or null; valid until the store changes.
const Event* earliestStored(EventStore* store);
void dropEarliest(EventStore* store);
// Takes out every event at the earliest time, if that lies before
// `horizon`, in the order they went in (none otherwise); valid until the
// next call.
std::span<Event> takeTimePoint(EventStore* store, double horizon);

}  // namespace net1::NET1_EDITION_NAMESPACE
