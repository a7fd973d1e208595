#include "net1.h"
#include "trace_lines.h"

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

int printUnits(Stream* stream, Group* group) {
  if (!group || !stream) return 0;
  Stream& s = *stream;
  for (const Unit* u = group->units->head; u; u = u->next) {
    const ChainTotals in = totals<&Synapse::nextIn>(u->preSynapses);
    const ChainTotals out = totals<&Synapse::nextOut>(u->postSynapses);
    trace::line<trace::Kind::unit>(s, group->name, u->id, u->excitatory, u->threshold, u->leak, u->resetPotential,
                                   in.total, in.active, in.weightSum, out.total, out.active, out.weightSum);
  }
  return 1;
}

int printSynapses(Stream* stream, Group* group) {
  if (!stream || !group) return 0;
  Stream& out = *stream;
  for (const Unit* u = group->units->head; u; u = u->next) {
    if (!u->postSynapses) continue;
    for (const Synapse* syn = u->postSynapses->head; syn; syn = syn->nextOut) {
      trace::line<trace::Kind::syn>(out, group->name, u->id, syn->post->group->name, syn->post->id,
                                    static_cast<std::uint8_t>(syn->active), u->excitatory, syn->post->excitatory,
                                    syn->weight, syn->delay, static_cast<double>(syn->lastSwitch));
    }
  }
  if (!stream->isStandardOutput()) stream->close();
  return 1;
}

}  // namespace net1
