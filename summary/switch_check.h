#pragma once
// Checks the switch events of a trace against the final report, synapse by
// synapse: events on one synapse must alternate, and its last event must
// match the reported state (active after swon, inactive after swoff) and its
// reported last switch time. A running count built from events that break
// these rules would be wrong, so the summary says when they are broken.

#include <cstdint>
#include <memory>

#include "trace_line.h"

namespace net1::summary {

struct SynapseKey {
  std::uint32_t preGroup, preId, postGroup, postId;  // group indices below 256, ids up to kMaxUnitId
};

struct SwitchCheckCounts {
  std::uint64_t switched = 0;          // synapses with at least one event
  std::uint64_t repeated = 0;          // swon on a synapse already on, or swoff on one off
  std::uint64_t stateMismatch = 0;     // reported state differs from the last event
  std::uint64_t timeMismatch = 0;      // reported last switch differs from the last event's time
  std::uint64_t absentFromReport = 0;  // switched, but no syn line (only counted with a report)
  std::uint64_t unchecked = 0;         // events on synapses beyond kMaxSynapses

  std::uint64_t problems() const { return repeated + stateMismatch + timeMismatch + absentFromReport; }
};

class SwitchCheck {
 public:
  // Synapses followed, at most: far more than the nine programs' networks
  // switch in a run; it bounds memory (16 bytes a
  // slot, at most half of the slots used) for any input. Events on further
  // synapses are counted as unchecked.
  static constexpr std::uint64_t kMaxSynapses = std::uint64_t{1} << 22;

  explicit SwitchCheck(std::uint64_t maxSynapses = kMaxSynapses);
  void onSwitch(const SynapseKey& key, bool on, Ticks time);
  void onReport(const SynapseKey& key, bool active, Ticks lastSwitch);
  // Call once, after the last line; withReport tells whether a final report
  // came, so that synapses missing from it count.
  SwitchCheckCounts finish(bool withReport) const;

 private:
  // A slot: the key in the low 56 bits (8 for a group, 20 for an id), then
  // the state bits; 0 is empty.
  static constexpr int kIdBits = 20;
  static constexpr int kGroupBits = 8;
  static_assert(kMaxUnitId < (std::uint32_t{1} << kIdBits), "an id must fit its bits of the key");
  static constexpr std::uint64_t kUsed = std::uint64_t{1} << (2 * (kIdBits + kGroupBits));
  static constexpr std::uint64_t kOn = kUsed << 1;
  static constexpr std::uint64_t kReported = kUsed << 2;
  static constexpr std::uint64_t kKeyMask = kUsed - 1;
  struct Slot {
    std::uint64_t word = 0;
    Ticks lastTime = 0;
  };

  static std::uint64_t pack(const SynapseKey& k) {
    return (((((std::uint64_t{k.preGroup} << kIdBits) | k.preId) << kGroupBits) | k.postGroup) << kIdBits) | k.postId;
  }
  // The slot of key, or the empty slot where it belongs.
  Slot& lookup(std::uint64_t key);
  void grow();

  std::unique_ptr<Slot[]> slots_;
  std::uint64_t mask_ = 0;  // slot count - 1
  int shift_ = 0;           // 64 - log2(slot count): the hash's top bits pick the slot
  std::uint64_t used_ = 0;
  std::uint64_t maxSynapses_;
  SwitchCheckCounts counts_;
};

}  // namespace net1::summary
