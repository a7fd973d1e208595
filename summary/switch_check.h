#pragma once
// Checks the switch events of a trace against the final report, synapse by
// synapse: events on one synapse must alternate, and its last event must
// match the reported state (active after swon, inactive after swoff) and its
// reported last switch time. A running count built from events that break
// these rules would be wrong, so the summary says when they are broken.

#include <cstdint>
#include <unordered_map>

#include "trace_line.h"

namespace net1::summary {

struct SynapseKey {
  std::uint32_t preGroup, preId, postGroup, postId;
  bool operator==(const SynapseKey&) const = default;
};

struct SwitchCheckCounts {
  std::uint64_t switched = 0;            // synapses with at least one event
  std::uint64_t repeated = 0;            // swon on a synapse already on, or swoff on one off
  std::uint64_t stateMismatch = 0;      // reported state differs from the last event
  std::uint64_t timeMismatch = 0;       // reported last switch differs from the last event's time
  std::uint64_t absentFromReport = 0;  // switched, but no syn line (only counted with a report)

  std::uint64_t problems() const {
    return repeated + stateMismatch + timeMismatch + absentFromReport;
  }
};

class SwitchCheck {
 public:
  void onSwitch(const SynapseKey& key, bool on, Ticks time);
  void onReport(const SynapseKey& key, bool active, Ticks lastSwitch);
  // Call once, after the last line; withReport tells whether a final report
  // came, so that synapses missing from it count.
  SwitchCheckCounts finish(bool withReport) const;

 private:
  struct KeyHash {
    std::size_t operator()(const SynapseKey& k) const {
      std::uint64_t a = (std::uint64_t{k.preGroup} << 32) | k.preId;
      std::uint64_t b = (std::uint64_t{k.postGroup} << 32) | k.postId;
      std::uint64_t h = a * 0x9E3779B97F4A7C15ULL ^ (b + 0x632BE59BD9B4E019ULL + (a << 6) + (a >> 2));
      return static_cast<std::size_t>(h ^ (h >> 29));
    }
  };
  struct Entry {
    Ticks lastTime = 0;
    bool on = false;
    bool reported = false;
  };
  std::unordered_map<SynapseKey, Entry, KeyHash> synapses_;
  SwitchCheckCounts counts_;
};

}  // namespace net1::summary
