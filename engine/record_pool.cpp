#include "record_pool.h"

#include <cstdlib>
#include <new>

#include "net1.h"

namespace net1 {

template <class T>
typename RecordPool<T>::State& RecordPool<T>::state() {
  static State pool;
  return pool;
}

template <class T>
T* RecordPool<T>::take() {
  State& pool = state();
  if (!pool.freeList) {
    char* slab = static_cast<char*>(allocMemAligned(kLine, kSlabBytes));
    pool.slabs.push_back(slab);
    // Linked from the end, so that slots are handed out in address order.
    for (std::size_t at = kSlabBytes / kSlot; at-- > 0;) {
      void* slot = slab + at * kSlot;
      *static_cast<void**>(slot) = pool.freeList;
      pool.freeList = slot;
    }
  }
  void* slot = pool.freeList;
  pool.freeList = *static_cast<void**>(slot);
  ++pool.live;
  return new (slot) T{};
}

template <class T>
void RecordPool<T>::give(T* r) {
  if (!r) return;
  State& pool = state();
  r->~T();
  *reinterpret_cast<void**>(r) = pool.freeList;
  pool.freeList = r;
  if (--pool.live > 0) return;
  for (void* slab : pool.slabs) std::free(slab);
  pool.slabs.clear();
  pool.freeList = nullptr;
}

static_assert(sizeof(Synapse) <= 64 && sizeof(SynapseList) <= 64, "a synapse and a chain header fill one cache line");

template class RecordPool<Synapse>;
template class RecordPool<Unit>;
template class RecordPool<SynapseList>;

}  // namespace net1
