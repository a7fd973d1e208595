// The fast store of pending events behind the event queue.
//
// Events come out in order of (time, insertion number), exactly the order of
// the plain list. They are kept in a calendar: a ring of buckets of 1/64
// time unit each, covering the next 64 time units (longer than any delay
// the programs make), plus a heap for events further ahead. A new event is
// linked into its bucket unsorted, through its own `next` (so a push
// touches only the event and one slot of a small table); a bucket is sorted
// once, when the clock reaches it. Events at or before the bucket being
// consumed join its sorted run directly. Push and pop are thus O(1) on
// average however many events are pending.
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

  Event* newEvent();          // from the pool, all fields zero
  void release(Event* e);     // back to the pool

  void push(Event* e);
  Event* top();               // the earliest pending event, or null
  void popTop();              // removes the earliest (after top())
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
  static std::int64_t bucketOf(double time);
  void insertIntoRun(const Entry& entry);
  bool advance();  // moves the next non-empty bucket into the run
  void toRing(Event* e, std::int64_t bucket);
  void pushFar(const Entry& entry);
  void popFar();

  static constexpr std::size_t kBuckets = 4096;
  std::vector<Entry> run_;      // entries of buckets up to current_, latest first
  std::vector<Event*> ring_;    // first event of each bucket, linked by `next`
  std::int64_t current_ = 0;    // the bucket the run belongs to
  std::size_t inRing_ = 0;
  std::vector<Entry> far_;      // a binary heap of entries beyond the ring

  std::vector<Event*> slabs_;
  Event* freeList_ = nullptr;
};

}  // namespace net1
