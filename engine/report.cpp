#include "net1.h"

namespace net1 {
namespace {

struct ChainTotals {
  std::uint32_t total = 0;
  int active = 0;
  float weightSum = 0;  // summed in single precision, in chain order
};

template <Synapse* Synapse::*Link>
ChainTotals totals(const SynapseList* chain) {
  ChainTotals t;
  if (!chain) return t;
  t.total = chain->count;
  for (const Synapse* s = chain->head; s; s = s->*Link) {
    if (!s->active) continue;
    ++t.active;
    t.weightSum += s->weight;
  }
  return t;
}

}  // namespace

// "unit %s %d " "%d %f %f %f " "%d %d %f %d %d %f\n"
int printUnits(Stream* stream, Group* group) {
  if (!group || !stream) return 0;
  Stream& s = *stream;
  for (const Unit* u = group->units->head; u; u = u->next) {
    const ChainTotals in = totals<&Synapse::nextIn>(u->preSynapses);
    const ChainTotals out = totals<&Synapse::nextOut>(u->postSynapses);
    s.text("unit ").text(group->name).put(' ').integer(u->id).put(' ');
    s.integer(u->excitatory).put(' ').fixed(u->threshold).put(' ').fixed(u->leak).put(' ')
        .fixed(u->resetPotential).put(' ');
    s.integer(in.total).put(' ').integer(in.active).put(' ').fixed(in.weightSum).put(' ')
        .integer(out.total).put(' ').integer(out.active).put(' ').fixed(out.weightSum).put('\n');
  }
  return 1;
}

// "syn %s %d %s %d " "%d %d %d %f %f %f\n"
int printSynapses(Stream* stream, Group* group) {
  if (!stream || !group) return 0;
  Stream& out = *stream;
  for (const Unit* u = group->units->head; u; u = u->next) {
    if (!u->postSynapses) continue;
    for (const Synapse* syn = u->postSynapses->head; syn; syn = syn->nextOut) {
      out.text("syn ").text(group->name).put(' ').integer(u->id).put(' ')
          .text(syn->post->group->name).put(' ').integer(syn->post->id).put(' ');
      out.integer(syn->active).put(' ').integer(u->excitatory).put(' ').integer(syn->post->excitatory)
          .put(' ').fixed(syn->weight).put(' ').fixed(syn->delay).put(' ').fixed(syn->lastSwitch).put('\n');
    }
  }
  if (!stream->isStandardOutput()) stream->close();
  return 1;
}

}  // namespace net1
