#include "pending_events.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace net1 {
namespace {

constexpr double kBucketsPerTimeUnit = 32.0;  // a power of two: time * 32 is exact
constexpr std::size_t kSlab = 4096;

}  // namespace

PendingEvents::PendingEvents() : ring_(kBuckets) {}

PendingEvents::~PendingEvents() {
  for (Event* slab : slabs_) std::free(slab);
}

Event* PendingEvents::newEvent() {
  if (!freeList_) {
    Event* slab = static_cast<Event*>(allocMem(kSlab * sizeof(Event)));
    slabs_.push_back(slab);
    for (std::size_t i = kSlab; i-- > 0;) release(&slab[i]);
  }
  Event* e = freeList_;
  freeList_ = e->next;
  *e = Event{};
  return e;
}

void PendingEvents::release(Event* e) {
  e->next = freeList_;
  freeList_ = e;
}

// Monotone in time: a later time never gets an earlier bucket. Times that
// are not numbers, or far outside any run, still get a bucket without
// undefined conversions.
std::int64_t PendingEvents::bucketOf(double time) {
  const double x = std::floor(time * kBucketsPerTimeUnit);
  if (!(x > -4e18)) return INT64_MIN;
  if (x > 4e18) return INT64_MAX / 2;
  return static_cast<std::int64_t>(x);
}

void PendingEvents::insertIntoRun(const Entry& entry) {
  // The run is sorted latest first, so the earliest is popped from the back.
  auto at = std::lower_bound(run_.begin(), run_.end(), entry,
                             [](const Entry& a, const Entry& b) { return earlier(b, a); });
  run_.insert(at, entry);
}

void PendingEvents::push(Event* e) {
  const Entry entry{e->time, e->order, e};
  ++size_;
  const std::int64_t b = bucketOf(e->time);
  if (b <= current_) {
    insertIntoRun(entry);
  } else if (b - current_ < static_cast<std::int64_t>(kBuckets)) {
    ring_[static_cast<std::size_t>(b) % kBuckets].push_back(entry);
    ++inRing_;
  } else {
    pushFar(entry);
  }
}

bool PendingEvents::advance() {
  if (inRing_ == 0 && far_.empty()) return false;
  std::int64_t next;
  if (inRing_ > 0) {
    next = current_ + 1;
    while (ring_[static_cast<std::size_t>(next) % kBuckets].empty()) ++next;
  } else {
    next = bucketOf(far_.front().time);
  }
  current_ = next;
  std::vector<Entry>& bucket = ring_[static_cast<std::size_t>(current_) % kBuckets];
  inRing_ -= bucket.size();
  run_.swap(bucket);
  bucket.clear();
  // Far events whose bucket the ring now covers move into it (or the run).
  while (!far_.empty() && bucketOf(far_.front().time) - current_ < static_cast<std::int64_t>(kBuckets)) {
    const Entry entry = far_.front();
    popFar();
    const std::int64_t b = bucketOf(entry.time);
    if (b <= current_) {
      run_.push_back(entry);
    } else {
      ring_[static_cast<std::size_t>(b) % kBuckets].push_back(entry);
      ++inRing_;
    }
  }
  std::sort(run_.begin(), run_.end(), [](const Entry& a, const Entry& b) { return earlier(b, a); });
  return true;
}

Event* PendingEvents::top() {
  if (run_.empty() && !advance()) return nullptr;
  return run_.back().event;
}

void PendingEvents::popTop() {
  run_.pop_back();
  --size_;
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
    for (std::vector<Entry>& bucket : ring_) {
      if (take(bucket)) {
        --inRing_;
        break;
      }
    }
  }
  if (!found && take(far_)) std::make_heap(far_.begin(), far_.end(), [](const Entry& a, const Entry& b) { return earlier(b, a); });
  if (!found) return nullptr;
  --size_;
  const Entry* best = nullptr;
  auto consider = [&](const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
      if (earlier(removed, entry) && (!best || earlier(entry, *best))) best = &entry;
    }
  };
  consider(run_);
  for (const std::vector<Entry>& bucket : ring_) consider(bucket);
  consider(far_);
  return best ? best->event : nullptr;
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
