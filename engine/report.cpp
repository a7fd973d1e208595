#include "net1.h"
#include "trace_lines.h"

namespace net1::NET1_EDITION_NAMESPACE {
namespace {

struct ChainTotals {
  std::uint32_t total = 0;
  int active = 0;
  float weightSum = 0;  // summed in single precision, in chain order
};

template <class Chain>
ChainTotals totals(const Chain* chain) {
  ChainTotals t;
  if (!chain) return t;
  t.total = static_cast<std::uint32_t>(chain->all.size());
  t.active = static_cast<int>(chain->active.size());
  for (const auto& on : chain->active) t.weightSum += on.synapse->weight;
  return t;
}

}  // namespace

// Both reports list a group's units newest first.
int printUnits(Stream* stream, Group* group) {
  if (!group || !stream) return 0;
  for (std::uint32_t id = group->units->count; id-- > 0;) {
    const Unit* u = unitById(group, id);
    const ChainTotals in = totals(u->preSynapses);
    const ChainTotals out = totals(u->postSynapses);
    trace::line<trace::Kind::unit>(*stream, group->name, u->id, u->excitatory, u->threshold, u->leak,
                                   u->resetPotential, in.total, in.active, in.weightSum, out.total, out.active,
                                   out.weightSum);
  }
  return 1;
}

int printSynapses(Stream* stream, Group* group) {
  if (!stream || !group) return 0;
  for (std::uint32_t id = group->units->count; id-- > 0;) {
    const Unit* u = unitById(group, id);
    if (!u->postSynapses) continue;
    for (const Synapse* syn : u->postSynapses->all) {
      trace::line<trace::Kind::syn>(*stream, group->name, u->id, syn->post->group->name, syn->post->id, syn->active,
                                    u->excitatory, syn->post->excitatory, syn->weight, syn->delay, syn->lastSwitch);
    }
  }
  if (!stream->isStandardOutput()) stream->close();
  return 1;
}

}  // namespace net1::NET1_EDITION_NAMESPACE
