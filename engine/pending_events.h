// The fast store of pending events behind the event queue.
//
// Events come out in order of (time, insertion number), exactly the order of
// the plain list. They are kept in a calendar: a ring of buckets of 1/256
// time unit each, covering the next 64 time units (longer than any delay
// the programs make), plus a heap for events further ahead. Buckets are
// narrow enough to hold mostly one event or none, so that reading one
// rarely follows a chain of events through memory. A new event is linked
// into its bucket unsorted, through its own `next` (so a push touches only
// the event and one slot of a small table); a bucket is sorted once, when
// the clock reaches it. Events at or before the bucket being consumed join
// its sorted run directly. Push and pop are thus O(1) on average however
// many events are pending.
//
// Every event goes through push, top and popTop, so those and the pool are
// written here to be inlined into the engine's loops; the rarer work
// (moving to the next bucket, removing an arbitrary event) stays out of line.
#pragma once

#include <cstdint>
#include <vector>

#include "net1.h"

namespace net1 {

struct PendingEvents {
  PendingEvents();
  ~PendingEvents();
  PendingEvents(const PendingEvents&) = delete;
  PendingEvents& operator=(const PendingEvents&) = delete;

  // From the pool. Only `next` and `inBlock` are reset here: the caller
  // fills in every other field.
  Event* newEvent() {
    if (!freeList_) refill();
    Event* e = freeList_;
    freeList_ = e->next;
    e->next = nullptr;
    e->prev = nullptr;
    e->inBlock = 0;
    return e;
  }
  void release(Event* e) {  // back to the pool
    e->next = freeList_;
    freeList_ = e;
  }

  void push(Event* e) {
    const std::int64_t b = bucketOf(e->time);
    if (b <= current_) {
      insertIntoRun(Entry{e->time, e->order, e});
    } else if (b - current_ < static_cast<std::int64_t>(kBuckets)) {
      toRing(e, b);
    } else {
      pushFar(Entry{e->time, e->order, e});
    }
  }
  Event* top() {  // the earliest pending event, or null
    if (run_.empty() && !advance()) return nullptr;
    return run_.back().event;
  }
  void popTop() { run_.pop_back(); }  // removes the earliest (after top())
  // Removes any pending event and returns the one that follows it in
  // processing order (null when none); false `found` when it is not here.
  Event* remove(Event* e, bool& found);

 private:
  struct Entry {
    double time;
    std::uint64_t order;
    Event* event;
  };
  static bool earlier(const Entry& a, const Entry& b) {
    return a.time < b.time || (a.time == b.time && a.order < b.order);
  }
  // Monotone in time: a later time never gets an earlier bucket. Times that
  // are not numbers, or far outside any run, still get a bucket without
  // undefined conversions.
  static std::int64_t bucketOf(double time) {
    const double x = time * 256.0;  // 256 buckets a time unit; a power of two keeps it exact
    if (!(x > -4e18)) return INT64_MIN;
    if (x > 4e18) return INT64_MAX / 2;
    std::int64_t b = static_cast<std::int64_t>(x);  // toward zero, then down
    if (static_cast<double>(b) > x) --b;
    return b;
  }
  void refill();
  // Rare: an event for the bucket being consumed, or beyond the ring.
  [[gnu::noinline]] void insertIntoRun(const Entry& entry);
  bool advance();  // moves the next non-empty bucket into the run
  std::int64_t nextOccupiedBucket() const;
  void toRing(Event* e, std::int64_t bucket) {
    const std::size_t slot = static_cast<std::size_t>(bucket) % kBuckets;
    e->next = ring_[slot];
    ring_[slot] = e;
    occupied_[slot / 64] |= std::uint64_t{1} << (slot % 64);
    ++inRing_;
  }
  void markEmpty(std::size_t slot) { occupied_[slot / 64] &= ~(std::uint64_t{1} << (slot % 64)); }
  [[gnu::noinline]] void pushFar(const Entry& entry);
  void popFar();

  static constexpr std::size_t kBuckets = 16384;
  std::vector<Entry> run_;      // entries of buckets up to current_, latest first
  std::vector<Event*> ring_;    // first event of each bucket, linked by `next`
  // One bit per slot of the ring, set while its bucket holds events: the
  // next non-empty bucket is found 64 slots at a time.
  std::vector<std::uint64_t> occupied_;
  std::int64_t current_ = 0;    // the bucket the run belongs to
  std::size_t inRing_ = 0;
  std::vector<Entry> far_;      // a binary heap of entries beyond the ring

  std::vector<Event*> slabs_;
  Event* freeList_ = nullptr;
};

// Fills in a new event's fields, gives it the next insertion number and
// counts it as pending.
inline void fillEvent(Event* e, EventQueue* q, double time, float amount, Unit* unit, Synapse* synapse) {
  e->time = time;
  e->amount = amount;
  e->unit = unit;
  e->synapse = synapse;
  e->order = q->added++;
  ++q->count;
}

// Out of line: the plain list's insertion, and making a queue's fast store
// at its first event.
Event* addToList(EventQueue* q, double time, float amount, Unit* unit, Synapse* synapse);
PendingEvents* makeStore(EventQueue* q);

// addEvent, written here so that the engine's own loops inline the path
// every event of the fast store takes.
inline Event* enqueueEvent(EventQueue* q, double delay, float amount, Unit* unit, Synapse* synapse) {
  if (!unit || !q) fatal("unit or q is NULL");
  const double t = delay + q->now;
  if (q->referenceList) return addToList(q, t, amount, unit, synapse);
  PendingEvents* pending = q->pending ? q->pending : makeStore(q);
  Event* e = pending->newEvent();
  fillEvent(e, q, t, amount, unit, synapse);
  pending->push(e);
  return e;
}

}  // namespace net1
