#include "switch_check.h"

namespace net1::summary {

void SwitchCheck::onSwitch(const SynapseKey& key, bool on, Ticks time) {
  auto [it, added] = synapses_.try_emplace(key);
  if (!added && it->second.on == on) ++counts_.repeated;
  it->second.on = on;
  it->second.lastTime = time;
}

void SwitchCheck::onReport(const SynapseKey& key, bool active, Ticks lastSwitch) {
  auto it = synapses_.find(key);
  if (it == synapses_.end()) return;  // never switched: nothing to compare
  Entry& e = it->second;
  if (e.reported) return;
  e.reported = true;
  if (e.on != active) ++counts_.stateMismatch;
  if (e.lastTime != lastSwitch) ++counts_.timeMismatch;
}

SwitchCheckCounts SwitchCheck::finish(bool withReport) const {
  SwitchCheckCounts c = counts_;
  c.switched = synapses_.size();
  if (withReport)
    for (const auto& [key, e] : synapses_)
      if (!e.reported) ++c.absentFromReport;
  return c;
}

}  // namespace net1::summary
