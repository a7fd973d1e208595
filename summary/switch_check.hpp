#pragma once
// Checks the switch events of a trace against the final report, synapse by
// synapse: events on one synapse must alternate, and its last event must
// match the reported state (active after swon, inactive after swoff) and its
// reported last switch time. A running count built from events that break
// these rules would be wrong, so the summary says when they are broken.

#include <cstdint>
#include <unordered_map>

#include "trace_line.hpp"

namespace tsum {

struct SynapseKey {
  std::uint32_t pre_group, pre_id, post_group, post_id;
  bool operator==(const SynapseKey&) const = default;
};

struct SwitchCheckCounts {
  std::uint64_t switched = 0;            // synapses with at least one event
  std::uint64_t repeated = 0;            // swon on a synapse already on, or swoff on one off
  std::uint64_t state_mismatch = 0;      // reported state differs from the last event
  std::uint64_t time_mismatch = 0;       // reported last switch differs from the last event's time
  std::uint64_t absent_from_report = 0;  // switched, but no syn line (only counted with a report)

  std::uint64_t problems() const {
    return repeated + state_mismatch + time_mismatch + absent_from_report;
  }
};

class SwitchCheck {
 public:
  void on_switch(const SynapseKey& key, bool on, Ticks time);
  void on_report(const SynapseKey& key, bool active, Ticks last_switch);
  // Call once, after the last line; with_report tells whether a final report
  // came, so that synapses missing from it count.
  SwitchCheckCounts finish(bool with_report) const;

 private:
  struct KeyHash {
    std::size_t operator()(const SynapseKey& k) const {
      std::uint64_t a = (std::uint64_t{k.pre_group} << 32) | k.pre_id;
      std::uint64_t b = (std::uint64_t{k.post_group} << 32) | k.post_id;
      std::uint64_t h = a * 0x9E3779B97F4A7C15ULL ^ (b + 0x632BE59BD9B4E019ULL + (a << 6) + (a >> 2));
      return static_cast<std::size_t>(h ^ (h >> 29));
    }
  };
  struct Entry {
    Ticks last_time = 0;
    bool on = false;
    bool reported = false;
  };
  std::unordered_map<SynapseKey, Entry, KeyHash> synapses_;
  SwitchCheckCounts counts_;
};

}  // namespace tsum
