// Pools for the records the engine walks most: synapses, units and the
// headers of their chains.
//
// Each record gets whole cache lines of its own (a synapse or a chain
// header one line, a unit two), and records made one after the other lie side by side, so a walk
// over a chain loads as few lines as the records' sizes allow. malloc's
// blocks start at any 16-byte offset and put its own headers between them.
//
// The pools are process-wide, like the records' owners (groups and units).
// A pool hands its memory back when its last record is returned, so a
// program that frees its network frees everything.
#pragma once

#include <cstddef>
#include <vector>

namespace net1 {

template <class T>
class RecordPool {
 public:
  static T* take();        // a record, value-initialised
  static void give(T* r);  // back to the pool

 private:
  static constexpr std::size_t kLine = 64;
  static constexpr std::size_t kSlot = (sizeof(T) + kLine - 1) / kLine * kLine;
  static constexpr std::size_t kSlabBytes = std::size_t{1} << 18;

  struct State {
    std::vector<void*> slabs;
    void* freeList = nullptr;  // slots linked through their first bytes
    std::size_t live = 0;
  };
  static State& state();
};

}  // namespace net1
