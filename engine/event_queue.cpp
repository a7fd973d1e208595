#include <cstdlib>
#include <vector>

#include "net1.h"

namespace net1 {

// The heap store: pending events ordered by (time, insertion number), which
// is exactly the order of the plain list, and a pool of event records so
// that the event path allocates nothing once the pool has grown.
struct PendingEvents {
  struct Entry {
    double time;
    std::uint64_t order;
    Event* event;
  };
  std::vector<Entry> heap;
  std::vector<Event*> slabs;
  Event* freeList = nullptr;

  static bool earlier(const Entry& a, const Entry& b) {
    return a.time < b.time || (a.time == b.time && a.order < b.order);
  }

  Event* newEvent() {
    if (!freeList) grow();
    Event* e = freeList;
    freeList = e->next;
    *e = Event{};
    return e;
  }
  void release(Event* e) {
    e->next = freeList;
    freeList = e;
  }
  void grow() {
    constexpr std::size_t kSlab = 4096;
    Event* slab = static_cast<Event*>(allocMem(kSlab * sizeof(Event)));
    slabs.push_back(slab);
    for (std::size_t i = kSlab; i-- > 0;) release(&slab[i]);
  }

  Event* top() const { return heap.empty() ? nullptr : heap.front().event; }

  void push(Event* e) {
    heap.push_back(Entry{e->time, e->order, e});
    siftUp(heap.size() - 1);
  }
  // Removes the entry at index i and keeps the heap in order.
  void removeAt(std::size_t i) {
    Entry last = heap.back();
    heap.pop_back();
    if (i == heap.size()) return;
    heap[i] = last;
    if (i > 0 && earlier(heap[i], heap[(i - 1) / 2])) {
      siftUp(i);
    } else {
      siftDown(i);
    }
  }
  void siftUp(std::size_t i) {
    Entry moving = heap[i];
    while (i > 0) {
      std::size_t parent = (i - 1) / 2;
      if (!earlier(moving, heap[parent])) break;
      heap[i] = heap[parent];
      i = parent;
    }
    heap[i] = moving;
  }
  void siftDown(std::size_t i) {
    Entry moving = heap[i];
    const std::size_t n = heap.size();
    for (;;) {
      std::size_t child = 2 * i + 1;
      if (child >= n) break;
      if (child + 1 < n && earlier(heap[child + 1], heap[child])) ++child;
      if (!earlier(heap[child], moving)) break;
      heap[i] = heap[child];
      i = child;
    }
    heap[i] = moving;
  }

  ~PendingEvents() {
    for (Event* slab : slabs) std::free(slab);
  }
};

namespace {

PendingEvents* store(EventQueue* q) {
  if (!q->pending) q->pending = new PendingEvents;
  return q->pending;
}

Event* listAdd(EventQueue* q, double t) {
  Event* found = q->head;
  while (found && !(t >= found->time)) found = found->next;
  Event* e = allocRecord<Event>();
  if (found) {
    e->next = found;
    e->prev = found->prev;
    if (found->prev) {
      found->prev->next = e;
    } else {
      q->head = e;
    }
    found->prev = e;
  } else if (q->tail) {
    e->prev = q->tail;
    q->tail->next = e;
    q->tail = e;
  } else {
    q->head = q->tail = e;
  }
  return e;
}

Event* listDelete(Event* e, EventQueue* q) {
  Event* p = e->prev;
  Event* n = e->next;
  if (p) {
    p->next = n;
  } else {
    q->head = n;
  }
  if (n) {
    n->prev = p;
  } else {
    q->tail = p;
  }
  std::free(e);
  --q->count;
  return p;
}

// Deleting from the heap store answers what the list would: the event that
// follows in processing order. For the block of the current time point that
// is its neighbour, or past the block the earliest event in the heap.
Event* heapDelete(Event* e, EventQueue* q) {
  PendingEvents* pending = q->pending;
  Event* following = nullptr;
  if (e->inBlock) {
    Event* p = e->prev;
    Event* n = e->next;
    if (p) {
      p->next = n;
    } else {
      q->head = n;
    }
    if (n) {
      n->prev = p;
    } else {
      q->tail = p;
    }
    following = p ? p : pending->top();
  } else {
    const auto& heap = pending->heap;
    std::size_t at = 0;
    while (at < heap.size() && heap[at].event != e) ++at;
    if (at == heap.size()) return nullptr;  // not pending here
    PendingEvents::Entry removed = heap[at];
    pending->removeAt(at);
    if (at == 0) {
      following = pending->top();
    } else {
      // Off the event path: a plain search for the next entry in order.
      const PendingEvents::Entry* best = nullptr;
      for (const auto& entry : heap) {
        if (PendingEvents::earlier(removed, entry) && (!best || PendingEvents::earlier(entry, *best))) {
          best = &entry;
        }
      }
      following = best ? best->event : nullptr;
    }
  }
  pending->release(e);
  --q->count;
  return following;
}

}  // namespace

Event* addEvent(EventQueue* q, double delay, float amount, Unit* unit, Synapse* synapse) {
  if (!unit || !q) fatal("unit or q is NULL");
  const double t = delay + q->now;
  Event* e = q->referenceList ? listAdd(q, t) : store(q)->newEvent();
  e->time = t;
  e->amount = amount;
  e->unit = unit;
  e->synapse = synapse;
  e->order = q->added++;
  if (!q->referenceList) q->pending->push(e);
  ++q->count;
  return e;
}

Event* deleteEvent(Event* event, EventQueue* q) {
  if (!event || !q) return nullptr;
  return q->referenceList ? listDelete(event, q) : heapDelete(event, q);
}

Event* earliestEvent(const EventQueue* q) {
  if (q->tail) return q->tail;
  if (q->referenceList) return q->head;
  return q->pending ? q->pending->top() : nullptr;
}

void beginTimePoint(EventQueue* q) {
  if (q->referenceList || !q->pending) return;
  PendingEvents* pending = q->pending;
  const double now = q->now;
  while (!pending->heap.empty() && pending->heap.front().time == now) {
    Event* e = pending->heap.front().event;
    pending->removeAt(0);
    e->inBlock = 1;
    e->prev = nullptr;
    e->next = q->head;
    if (q->head) {
      q->head->prev = e;
    } else {
      q->tail = e;
    }
    q->head = e;
  }
}

int freeQueue(EventQueue* q) {
  if (!q) return 0;
  if (q->referenceList) {
    for (Event* e = q->head; e;) {
      Event* next = e->next;
      std::free(e);
      e = next;
    }
  }
  delete q->pending;  // every event of the heap store lives in its pool
  std::free(q);
  return 1;
}

}  // namespace net1
