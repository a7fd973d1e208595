#include "switch_check.hpp"

namespace tsum {

void SwitchCheck::on_switch(const SynapseKey& key, bool on, Ticks time) {
  auto [it, added] = synapses_.try_emplace(key);
  if (!added && it->second.on == on) ++counts_.repeated;
  it->second.on = on;
  it->second.last_time = time;
}

void SwitchCheck::on_report(const SynapseKey& key, bool active, Ticks last_switch) {
  auto it = synapses_.find(key);
  if (it == synapses_.end()) return;  // never switched: nothing to compare
  Entry& e = it->second;
  if (e.reported) return;
  e.reported = true;
  if (e.on != active) ++counts_.state_mismatch;
  if (e.last_time != last_switch) ++counts_.time_mismatch;
}

SwitchCheckCounts SwitchCheck::finish(bool with_report) const {
  SwitchCheckCounts c = counts_;
  c.switched = synapses_.size();
  if (with_report)
    for (const auto& [key, e] : synapses_)
      if (!e.reported) ++c.absent_from_report;
  return c;
}

}  // namespace tsum
