// The engine's store of pending events: a calendar. A ring of buckets of
// 1/1024 time unit each covers the next 64 time units (more than any delay
// the programs make); a heap holds events further ahead. Buckets are narrow
// enough to hold mostly one event or none, even in a burst of activity. A new event is linked into its
// bucket unsorted, and a bucket is sorted once, when the clock reaches it.
// Adding and taking an event thus cost the same however many events are
// pending.
#include "event_store.h"

#include <algorithm>
#include <cmath>

namespace net1::NET1_EDITION_NAMESPACE {
namespace {

constexpr std::int64_t kBuckets = 65536;  // a power of two: slot = bucket & (kBuckets - 1)
constexpr double kPerUnit = 1024;         // buckets per time unit; a power of two keeps time * 1024 exact
constexpr std::uint32_t kNone = UINT32_MAX;

// Monotone in time: a later time never gets an earlier bucket. Times far
// outside any run still get one, without undefined conversions.
std::int64_t bucketOf(double time) {
  const double x = time * kPerUnit;
  if (!(x > -0x1p61)) return -(std::int64_t{1} << 61);
  if (x > 0x1p61) return std::int64_t{1} << 61;
  const auto b = static_cast<std::int64_t>(x);  // toward zero, then down
  return static_cast<double>(b) > x ? b - 1 : b;
}

std::size_t slotOf(std::int64_t bucket) { return static_cast<std::size_t>(bucket) & (kBuckets - 1); }

// The ring slot of an event at `time` when its bucket lies in the ring,
// after bucket `current` (never negative) by less than kBuckets; kBuckets
// otherwise. The bound comes first, so that the conversion is defined; it
// truncates toward zero, which only differs from the floor for buckets
// that are not after `current` either way.
std::size_t ringSlot(std::int64_t current, double time) {
  const double x = time * kPerUnit;
  if (!(std::fabs(x) < 0x1p62)) return kBuckets;
  const auto bucket = static_cast<std::int64_t>(x);
  return static_cast<std::uint64_t>(bucket - current - 1) < kBuckets - 1 ? slotOf(bucket) : kBuckets;
}

// An event in the store, with the link of its chain in the room an Event
// leaves at its end: one event, one half cache line.
struct Stored {
  double time;
  Unit* unit;
  Synapse* synapse;
  float amount;
  std::uint32_t next;
};
static_assert(sizeof(Stored) == 32);

// An event beyond the ring, numbered so that equal times keep their order.
struct FarEvent {
  double time;
  std::uint64_t order;
  Event event;
};
bool later(const FarEvent& a, const FarEvent& b) {
  return a.time > b.time || (a.time == b.time && a.order > b.order);
}

}  // namespace

// Events live in `pool`, linked by place into chains.
struct EventStore {
  // The events of bucket `current` and any earlier, in the order they are
  // taken: by time and, among equal times, first added first.
  std::uint32_t run = kNone;
  std::int64_t current = 0;
  // Bucket b, for current < b < current + kBuckets, is ring slot
  // slotOf(b): a chain, newest first.
  std::vector<std::uint32_t> newest = std::vector<std::uint32_t>(kBuckets, kNone);
  std::vector<std::uint64_t> occupied = std::vector<std::uint64_t>(kBuckets / 64);  // a bit per non-empty slot
  std::size_t inRing = 0;
  std::vector<Stored> pool;
  std::uint32_t freePlace = kNone;  // a chain of the free places of the pool
  std::vector<FarEvent> far;        // a heap, earliest on top
  std::uint64_t farAdded = 0;
  std::vector<Event> block = std::vector<Event>(1);  // the time point being executed; never empty
  std::vector<std::uint32_t> sorting;
};

namespace {

std::uint32_t place(EventStore* s, const Event& e, std::uint32_t next) {
  if (s->freePlace == kNone) {
    s->freePlace = static_cast<std::uint32_t>(s->pool.size());
    s->pool.push_back(Stored{0, nullptr, nullptr, 0, kNone});
  }
  const std::uint32_t at = s->freePlace;
  s->freePlace = s->pool[at].next;
  s->pool[at] = Stored{e.time, e.unit, e.synapse, e.amount, next};
  return at;
}

void toRing(EventStore* s, const Event& e, std::size_t slot) {
  s->newest[slot] = place(s, e, s->newest[slot]);
  s->occupied[slot / 64] |= std::uint64_t{1} << (slot % 64);
  ++s->inRing;
}

// Everything but the common case: events outside the ring, a full pool.
// The event comes field by field, so that the usual path need not put it
// in memory for this call.
[[gnu::noinline]] void storeElsewhere(EventStore* s, double time, Unit* unit, Synapse* synapse, float amount) {
  const Event e{time, unit, synapse, amount};
  if (e.time != e.time) return;  // a time that is not a number is never due
  const std::int64_t bucket = bucketOf(e.time);
  if (bucket <= s->current) {
    // Behind every event of its time or earlier in the run.
    std::uint32_t before = kNone;
    for (std::uint32_t at = s->run; at != kNone && s->pool[at].time <= e.time; at = s->pool[at].next) before = at;
    const std::uint32_t at = place(s, e, before == kNone ? s->run : s->pool[before].next);
    (before == kNone ? s->run : s->pool[before].next) = at;
  } else if (bucket - s->current < kBuckets) {
    toRing(s, e, slotOf(bucket));
  } else {
    s->far.push_back(FarEvent{e.time, s->farAdded++, e});
    std::push_heap(s->far.begin(), s->far.end(), later);
  }
}

// Sorts a chain of two or more events, newest first, into the empty run:
// each goes in front of the events of its time already there, which were
// added after it. A bucket holds a few events; only a crowded one is
// sorted as an array.
[[gnu::noinline]] void sortIntoRun(EventStore* s, std::uint32_t chain) {
  Stored* pool = s->pool.data();
  std::size_t length = 0;
  for (std::uint32_t at = chain; at != kNone && length <= 8; at = pool[at].next) ++length;
  if (length <= 8) {
    s->inRing -= length;
    while (chain != kNone) {
      const std::uint32_t at = chain;
      chain = pool[at].next;
      std::uint32_t* link = &s->run;
      while (*link != kNone && pool[*link].time < pool[at].time) link = &pool[*link].next;
      pool[at].next = *link;
      *link = at;
    }
    return;
  }
  std::vector<std::uint32_t>& places = s->sorting;
  places.clear();
  for (std::uint32_t at = chain; at != kNone; at = pool[at].next) places.push_back(at);
  s->inRing -= places.size();
  std::reverse(places.begin(), places.end());  // first added first
  std::stable_sort(places.begin(), places.end(),
                   [pool](std::uint32_t a, std::uint32_t b) { return pool[a].time < pool[b].time; });
  for (std::size_t i = places.size(); i-- > 0;) {
    pool[places[i]].next = s->run;
    s->run = places[i];
  }
}

// Far events move into the ring as it reaches them, before any later event
// can join their bucket.
[[gnu::noinline]] void moveFarEvents(EventStore* s) {
  while (!s->far.empty() && bucketOf(s->far.front().time) - s->current < kBuckets) {
    std::pop_heap(s->far.begin(), s->far.end(), later);
    const Event& e = s->far.back().event;
    storeElsewhere(s, e.time, e.unit, e.synapse, e.amount);
    s->far.pop_back();
  }
}

// Makes the next non-empty bucket the run (which is empty); false when
// nothing is pending. With the ring empty, the clock first moves to just
// before the earliest far event, which brings that event into the ring.
[[gnu::always_inline]] inline bool advance(EventStore* s) {
  if (s->inRing == 0) {
    if (s->far.empty()) return false;
    s->current = bucketOf(s->far.front().time) - 1;
    moveFarEvents(s);
  }
  // The bits of one word of `occupied` are 64 consecutive buckets.
  const std::size_t start = slotOf(s->current + 1);
  std::size_t word = start / 64;
  std::uint64_t bits = s->occupied[word] & (~std::uint64_t{0} << (start % 64));
  std::int64_t first = s->current + 1 - static_cast<std::int64_t>(start % 64);  // the bucket of bit 0
  // About one time in three the next bucket lies beyond this word, and
  // which time cannot be predicted: the next word is taken instead without
  // a branch. Only longer gaps loop.
  const std::size_t after = (word + 1) & (kBuckets / 64 - 1);
  const std::uint64_t past = bits == 0 ? ~std::uint64_t{0} : 0;  // all ones when this word is empty
  word += (after - word) & past;
  first += 64 & past;
  bits |= s->occupied[after] & past;
  while (!bits) {
    word = (word + 1) & (kBuckets / 64 - 1);
    bits = s->occupied[word];
    first += 64;
  }
  const int bit = __builtin_ctzll(bits);
  s->occupied[word] &= ~(std::uint64_t{1} << bit);
  const std::size_t slot = word * 64 + static_cast<std::size_t>(bit);
  const std::uint32_t chain = s->newest[slot];
  s->newest[slot] = kNone;
  s->current = first + bit;
  if (!s->far.empty()) moveFarEvents(s);  // into later buckets only
  if (s->pool[chain].next == kNone) {  // the usual bucket: one event
    s->run = chain;
    --s->inRing;
  } else {
    sortIntoRun(s, chain);
  }
  return true;
}

}  // namespace

EventStore* makeEventStore() { return new EventStore; }

void freeEventStore(EventStore* store) { delete store; }

void storeEvent(EventStore* s, const Event& e) {
  const std::size_t slot = ringSlot(s->current, e.time);
  const std::uint32_t at = s->freePlace;
  if (slot < kBuckets && at != kNone) {
    Stored& stored = s->pool[at];
    s->freePlace = stored.next;
    stored = Stored{e.time, e.unit, e.synapse, e.amount, s->newest[slot]};
    s->newest[slot] = at;
    s->occupied[slot / 64] |= std::uint64_t{1} << (slot % 64);
    ++s->inRing;
  } else {
    storeElsewhere(s, e.time, e.unit, e.synapse, e.amount);
  }
}

const Event* earliestStored(EventStore* s) {
  if (s->run == kNone && !advance(s)) return nullptr;
  const Stored& stored = s->pool[s->run];
  s->block.assign(1, Event{stored.time, stored.unit, stored.synapse, stored.amount});
  return s->block.data();
}

void dropEarliest(EventStore* s) {
  const std::uint32_t at = s->run;
  s->run = s->pool[at].next;
  s->pool[at].next = s->freePlace;
  s->freePlace = at;
}

std::span<Event> takeTimePoint(EventStore* s, double horizon) {
  if (s->run == kNone && !advance(s)) return {};
  Stored* pool = s->pool.data();
  const double now = pool[s->run].time;
  if (now >= horizon) return {};
  // Moves the run's first event into the block, and frees its place.
  const auto take = [s, pool](std::size_t n) {
    const std::uint32_t at = s->run;
    Stored& stored = pool[at];
    s->block[n] = Event{stored.time, stored.unit, stored.synapse, stored.amount};
    s->run = stored.next;
    stored.next = s->freePlace;
    s->freePlace = at;
  };
  take(0);
  std::size_t n = 1;
  for (; s->run != kNone && pool[s->run].time == now; ++n) {  // rare: events that share their time
    if (n == s->block.size()) s->block.resize(2 * n);
    take(n);
  }
  // The next bucket is found now rather than at the next call (events
  // added meanwhile to earlier buckets join the run), so that the unit of
  // the next event is fetched while this time point is worked on: units
  // are reached in no order, one event at a time.
  if (s->run != kNone || advance(s)) __builtin_prefetch(s->pool[s->run].unit);
  return std::span<Event>(s->block.data(), n);
}

}  // namespace net1::NET1_EDITION_NAMESPACE
