// The engine's store of pending events: a calendar. A ring of buckets of
// 1/1024 time unit each covers the next 64 time units (more than any delay
// the programs make); a heap holds events further ahead. A new event is
// appended to its bucket, unsorted, in blocks of four side by side; a
// bucket is sorted once, when the clock reaches it, in time linear in its
// events however many it holds. Adding and taking an event thus cost the
// same however many events are pending and however busy a time unit is.
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

struct Stored {
  double time;
  std::uint32_t target;  // eventTarget()
  float amount;
};
static_assert(sizeof(Stored) == 16);

// Four events of one bucket: a cache line, filled in the order they came.
struct alignas(64) Block {
  Stored events[4];
};

// A bucket of the ring: its first event, kept in the bucket itself (at the
// nine's rate a bucket holds one or two: a quarter fewer of the store's
// instructions on exp-stdp-av than a block for each), the newest block of the others, which links to
// the ones before, and how many events it holds.
struct Bucket {
  Stored first;
  std::uint32_t newest = kNone;
  std::uint32_t count = 0;
};
static_assert(sizeof(Bucket) == 24);

// An event beyond the ring, numbered so that equal times keep their order.
struct FarEvent {
  double time;
  std::uint64_t order;
  Stored event;
};
bool later(const FarEvent& a, const FarEvent& b) {
  return a.time > b.time || (a.time == b.time && a.order > b.order);
}

}  // namespace

struct EventStore {
  // The events of bucket `current` and any earlier, sorted: by time and,
  // among equal times, first added first: run[taken] to run[end - 1]. The
  // vector is the room; it never shrinks.
  std::vector<Stored> run = std::vector<Stored>(64);
  std::size_t taken = 0;
  std::size_t end = 0;
  std::int64_t current = 0;
  // Bucket b, for current < b < current + kBuckets, is ring slot slotOf(b).
  std::vector<Bucket> buckets = std::vector<Bucket>(kBuckets);
  std::vector<std::uint64_t> occupied = std::vector<std::uint64_t>(kBuckets / 64);  // a bit per non-empty slot
  std::size_t inRing = 0;
  std::vector<Block> blocks;
  std::vector<std::uint32_t> previous;  // of each block: the bucket's block before it, or the next free block
  std::uint32_t freeBlock = kNone;
  std::vector<FarEvent> far;  // a heap, earliest on top
  std::uint64_t farAdded = 0;
  std::vector<Event> block = std::vector<Event>(1);  // the time point being executed; never empty
  std::vector<Stored> sorting;
  std::vector<std::uint32_t> counts;
};

namespace {

[[gnu::noinline]] std::uint32_t newBlock(EventStore* s) {
  const auto at = static_cast<std::uint32_t>(s->blocks.size());
  if (at == kNone) fatal("too many pending events");
  s->blocks.emplace_back();
  s->previous.push_back(kNone);
  return at;
}

[[gnu::noinline]] void toBlock(EventStore* s, Bucket& b, const Stored& e) {
  const std::uint32_t place = (b.count - 1) % 4;
  if (place == 0) {
    std::uint32_t at = s->freeBlock;
    if (at == kNone) {
      at = newBlock(s);
    } else {
      s->freeBlock = s->previous[at];
    }
    s->previous[at] = b.newest;
    b.newest = at;
  }
  s->blocks[b.newest].events[place] = e;
}

[[gnu::always_inline]] inline void toRing(EventStore* s, std::size_t slot, const Stored& e) {
  Bucket& b = s->buckets[slot];
  if (b.count == 0) {
    b.first = e;
    s->occupied[slot / 64] |= std::uint64_t{1} << (slot % 64);
  } else {
    toBlock(s, b, e);
  }
  ++b.count;
  ++s->inRing;
}

// Room for n events in the run, which is empty.
void runRoom(EventStore* s, std::size_t n) {
  if (n > s->run.size()) s->run.resize(std::max(n, 2 * s->run.size()));
}

// Everything but the common case: events outside the ring.
[[gnu::noinline]] void storeElsewhere(EventStore* s, const Stored& e) {
  if (e.time != e.time) return;  // a time that is not a number is never due
  const std::int64_t bucket = bucketOf(e.time);
  if (bucket <= s->current) {
    // Behind every event of its time or earlier in the run.
    if (s->end == s->run.size()) s->run.resize(2 * s->run.size());
    std::size_t at = s->end;
    for (; at > s->taken && s->run[at - 1].time > e.time; --at) s->run[at] = s->run[at - 1];
    s->run[at] = e;
    ++s->end;
  } else if (bucket - s->current < kBuckets) {
    toRing(s, slotOf(bucket), e);
  } else {
    s->far.push_back(FarEvent{e.time, s->farAdded++, e});
    std::push_heap(s->far.begin(), s->far.end(), later);
  }
}

// Sorts events by time, keeping the order of equal times: insertion, which
// costs a step per event when they are nearly in order.
void insertionSort(Stored* e, std::size_t n) {
  for (std::size_t i = 1; i < n; ++i) {
    const Stored x = e[i];
    std::size_t j = i;
    for (; j > 0 && e[j - 1].time > x.time; --j) e[j] = e[j - 1];
    e[j] = x;
  }
}

// A crowded bucket is first spread by a counting sort into as many equal
// slices of its width as it holds events, which keeps the order of equal
// times; what is left is nearly in order.
[[gnu::noinline]] void sortCrowded(EventStore* s, std::int64_t bucket) {
  std::vector<Stored>& run = s->run;
  const std::size_t n = s->end;
  std::size_t slices = 1;
  while (slices < n) slices *= 2;
  const double scale = static_cast<double>(slices);
  const double start = static_cast<double>(bucket);
  // Monotone in time, so that slices come in order of time.
  const auto slice = [&](const Stored& e) {
    const double x = (e.time * kPerUnit - start) * scale;
    return x < 1 ? std::size_t{0} : std::min(static_cast<std::size_t>(x), slices - 1);
  };
  s->counts.assign(slices + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++s->counts[slice(run[i]) + 1];
  for (std::size_t i = 1; i <= slices; ++i) s->counts[i] += s->counts[i - 1];
  s->sorting.resize(run.size());
  for (std::size_t i = 0; i < n; ++i) s->sorting[s->counts[slice(run[i])]++] = run[i];
  run.swap(s->sorting);
  insertionSort(run.data(), n);
}

// The n - 1 events of a bucket after its first, from its blocks, newest
// first, into the run in the order added; then all n sorted.
[[gnu::noinline]] void gather(EventStore* s, Bucket& b, std::uint32_t n) {
  runRoom(s, n);
  Stored* to = s->run.data();
  std::uint32_t at = b.newest;
  std::uint32_t base = 1 + ((n - 2) & ~std::uint32_t{3});  // the newest block's first event
  // Copied event by event: a call to memmove per block cost a sixth of a
  // busy run.
  for (std::uint32_t i = 0; i < n - base; ++i) to[base + i] = s->blocks[at].events[i];
  while (base > 1) {
    const std::uint32_t before = s->previous[at];
    s->previous[at] = s->freeBlock;
    s->freeBlock = at;
    at = before;
    base -= 4;
    for (std::uint32_t i = 0; i < 4; ++i) to[base + i] = s->blocks[at].events[i];
  }
  s->previous[at] = s->freeBlock;
  s->freeBlock = at;
  b.newest = kNone;
  if (n <= 16) {
    insertionSort(to, n);
  } else {
    sortCrowded(s, s->current);
  }
}

// Far events move into the ring as it reaches them, before any later event
// can join their bucket.
[[gnu::noinline]] void moveFarEvents(EventStore* s) {
  while (!s->far.empty() && bucketOf(s->far.front().time) - s->current < kBuckets) {
    std::pop_heap(s->far.begin(), s->far.end(), later);
    storeElsewhere(s, s->far.back().event);
    s->far.pop_back();
  }
}

// Makes the next non-empty bucket the run (which has been taken); false
// when nothing is pending. With the ring empty, the clock first moves to
// just before the earliest far event, which brings that event into the ring.
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
  s->current = first + bit;
  if (!s->far.empty()) moveFarEvents(s);  // into later buckets only

  Bucket& b = s->buckets[slot];
  const std::uint32_t n = b.count;
  s->inRing -= n;
  s->taken = 0;
  s->end = n;
  s->run[0] = b.first;
  b.count = 0;
  if (n > 1) gather(s, b, n);
  return true;
}

}  // namespace

EventStore* makeEventStore() { return new EventStore; }

void freeEventStore(EventStore* store) { delete store; }

void storeEvent(EventStore* s, double time, std::uint32_t target, float amount) {
  const std::size_t slot = ringSlot(s->current, time);
  if (slot < kBuckets) {
    toRing(s, slot, Stored{time, target, amount});
  } else {
    storeElsewhere(s, Stored{time, target, amount});
  }
}

const Event* earliestStored(EventStore* s) {
  if (s->taken == s->end && !advance(s)) return nullptr;
  const Stored& e = s->run[s->taken];
  s->block.assign(1, eventOf(e.time, e.target, e.amount));
  return s->block.data();
}

void dropEarliest(EventStore* s) { ++s->taken; }

std::span<Event> takeTimePoint(EventStore* s, double horizon) {
  if (s->taken == s->end && !advance(s)) return {};
  const Stored* run = s->run.data();
  const std::size_t size = s->end;
  std::size_t at = s->taken;
  const double now = run[at].time;
  if (now >= horizon) return {};
  s->block[0] = eventOf(now, run[at].target, run[at].amount);
  std::size_t n = 1;
  for (++at; at < size && run[at].time == now; ++at, ++n) {  // rare: events that share their time
    if (n == s->block.size()) s->block.resize(2 * n);
    s->block[n] = eventOf(now, run[at].target, run[at].amount);
  }
  s->taken = at;
  // The next bucket is found now rather than at the next call (events
  // added meanwhile to earlier buckets join the run), so that the unit of
  // the next event is fetched while this time point is worked on: units
  // are reached in no order, one event at a time.
  if (at < size || advance(s)) {
    __builtin_prefetch(unitByRef(s->run[s->taken].target & ~kExcitatorySynapse));
  }
  return std::span<Event>(s->block.data(), n);
}

}  // namespace net1::NET1_EDITION_NAMESPACE
