// A network of one's own: four input units feed three output units through
// delayed synapses that start switched on; the output group switches its
// synapses and learns. The input units are stimulated in turn, and the
// trace and the final state of every unit and synapse are printed.
#include "net1.h"

using namespace net1;

int main() {
  seedRandom(1);
  Group* in = addGroup("in");
  Group* out = addGroup("out");
  for (int i = 0; i < 4; ++i) {
    Unit* u = addUnit(in);
    u->excitatory = 1;
    u->threshold = 1.0f;
  }
  for (int i = 0; i < 3; ++i) {
    Unit* u = addUnit(out);
    u->excitatory = 1;
    u->threshold = 1.5f;
    u->leak = 0.5f;
  }
  for (Group* g : {in, out}) {
    g->switching = 1;
    g->switchProb = 0.3f;
    g->stdpRate = 0.05f;
    g->weightMin = 0.2f;
    g->weightMax = 1.5f;
    g->refractory = 0.25f;
  }
  for (std::uint32_t i = 0; i < 4; ++i) {
    for (std::uint32_t j = 0; j < 3; ++j) {
      addSynapse(unitById(in, i), unitById(out, j), 0.5f + 0.25f * static_cast<float>(i + j), 0.8f);
    }
    // Every other synapse of the chain, shortest delay first, starts on.
    const std::vector<Synapse*>& chain = unitById(in, i)->postSynapses->all;
    for (std::size_t k = 0; k < chain.size(); k += 2) switchSynapse(chain[k], true, chain[k]->lastSwitch);
  }

  EventQueue* q = allocRecord<EventQueue>();
  Stream* output = standardOutput();
  q->spikeLog = q->switchLog = q->plasticityLog = output;
  for (std::uint32_t step = 0; step < 40; ++step) {
    runForward(q, 0.3);
    addEvent(q, 0.0, 1.0f, unitById(in, step % 4), nullptr);
  }
  printUnits(output, in);
  printUnits(output, out);
  printSynapses(output, in);
  output->flush();

  freeGroupUnitsAndPostSynapses(in);
  freeGroupUnitsAndPostSynapses(out);
  freeQueue(q);
  return output->error() == 0 ? 0 : 1;
}
