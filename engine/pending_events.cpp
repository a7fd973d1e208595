#include "pending_events.h"

#include <algorithm>
#include <cstdlib>

namespace net1 {
namespace {

constexpr std::size_t kSlab = 4096;
static_assert(sizeof(Event) == 64, "an event fills one cache line");

}  // namespace

PendingEvents::PendingEvents() : ring_(kBuckets, nullptr), occupied_(kBuckets / 64, 0) {}

PendingEvents::~PendingEvents() {
  for (Event* slab : slabs_) std::free(slab);
}

void PendingEvents::refill() {
  // An event is one cache line exactly when its slab starts on a line.
  Event* slab = static_cast<Event*>(allocMemAligned(64, kSlab * sizeof(Event)));
  slabs_.push_back(slab);
  for (std::size_t i = kSlab; i-- > 0;) release(&slab[i]);
}

void PendingEvents::insertIntoRun(const Entry& entry) {
  // The run is sorted latest first, so the earliest is popped from the back.
  auto at = std::lower_bound(run_.begin(), run_.end(), entry,
                             [](const Entry& a, const Entry& b) { return earlier(b, a); });
  run_.insert(at, entry);
}

// The first bucket after current_ that holds events (there is one: the ring
// is not empty). Slot s of the ring holds bucket b when b = s modulo the
// ring's length; the bits of one word are 64 consecutive buckets.
std::int64_t PendingEvents::nextOccupiedBucket() const {
  const std::size_t start = static_cast<std::size_t>(current_ + 1) % kBuckets;
  std::size_t word = start / 64;
  std::uint64_t bits = occupied_[word] & (~std::uint64_t{0} << (start % 64));
  std::int64_t first = current_ + 1 - static_cast<std::int64_t>(start % 64);  // the bucket of bit 0
  while (!bits) {
    word = (word + 1) % occupied_.size();
    bits = occupied_[word];
    first += 64;
  }
  return first + __builtin_ctzll(bits);
}

bool PendingEvents::advance() {
  if (inRing_ == 0 && far_.empty()) return false;
  std::int64_t next;
  if (inRing_ > 0) {
    next = nextOccupiedBucket();
  } else {
    next = bucketOf(far_.front().time);
  }
  current_ = next;
  const std::size_t slot = static_cast<std::size_t>(current_) % kBuckets;
  markEmpty(slot);
  Event*& first = ring_[slot];
  for (Event* e = first; e; e = e->next) {
    run_.push_back(Entry{e->time, e->order, e});
    --inRing_;
  }
  first = nullptr;
  // Far events whose bucket the ring now covers move into it (or the run).
  while (!far_.empty() && bucketOf(far_.front().time) - current_ < static_cast<std::int64_t>(kBuckets)) {
    const Entry entry = far_.front();
    popFar();
    const std::int64_t b = bucketOf(entry.time);
    if (b <= current_) {
      run_.push_back(entry);
    } else {
      toRing(entry.event, b);
    }
  }
  // A bucket holds a few events at a time; a plain insertion sort is the
  // cheapest way to order so few, and no two entries compare equal.
  if (run_.size() <= 16) {
    for (std::size_t i = 1; i < run_.size(); ++i) {
      const Entry entry = run_[i];
      std::size_t j = i;
      for (; j > 0 && earlier(run_[j - 1], entry); --j) run_[j] = run_[j - 1];
      run_[j] = entry;
    }
  } else {
    std::sort(run_.begin(), run_.end(), [](const Entry& a, const Entry& b) { return earlier(b, a); });
  }
  return true;
}

Event* PendingEvents::remove(Event* e, bool& found) {
  found = false;
  if (!run_.empty() && run_.back().event == e) {
    found = true;
    popTop();
    return top();
  }
  // Off the event path: search everywhere, and then for the next entry in order.
  Entry removed{};
  auto take = [&](std::vector<Entry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].event != e) continue;
      removed = entries[i];
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
      found = true;
      return true;
    }
    return false;
  };
  if (!take(run_)) {
    const std::int64_t b = bucketOf(e->time);
    if (b > current_ && b - current_ < static_cast<std::int64_t>(kBuckets)) {
      const std::size_t slot = static_cast<std::size_t>(b) % kBuckets;
      for (Event** link = &ring_[slot]; *link; link = &(*link)->next) {
        if (*link != e) continue;
        *link = e->next;
        removed = Entry{e->time, e->order, e};
        found = true;
        --inRing_;
        if (!ring_[slot]) markEmpty(slot);
        break;
      }
    }
  }
  if (!found && take(far_)) std::make_heap(far_.begin(), far_.end(), [](const Entry& a, const Entry& b) { return earlier(b, a); });
  if (!found) return nullptr;
  Entry best{};
  bool haveBest = false;
  auto consider = [&](const Entry& entry) {
    if (earlier(removed, entry) && (!haveBest || earlier(entry, best))) {
      best = entry;
      haveBest = true;
    }
  };
  for (const Entry& entry : run_) consider(entry);
  for (const Entry& entry : far_) consider(entry);
  for (Event* first : ring_) {
    for (Event* other = first; other; other = other->next) consider(Entry{other->time, other->order, other});
  }
  return haveBest ? best.event : nullptr;
}

void PendingEvents::pushFar(const Entry& entry) {
  far_.push_back(entry);
  std::push_heap(far_.begin(), far_.end(), [](const Entry& a, const Entry& b) { return earlier(b, a); });
}

void PendingEvents::popFar() {
  std::pop_heap(far_.begin(), far_.end(), [](const Entry& a, const Entry& b) { return earlier(b, a); });
  far_.pop_back();
}

}  // namespace net1
