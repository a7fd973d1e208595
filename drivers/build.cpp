#include <cmath>

#include "experiment.h"

namespace net1::drivers {
namespace {

Group* makeGroup(const char* name, const GroupSettings& s) {
  Group* g = addGroup(name);
  g->refractory = s.refractory;
  g->thrUpRate = s.thrUpRate;
  g->thrFloor = s.thrFloor;
  g->thrCeiling = s.thrCeiling;
  g->weightMin = s.weightMin;
  g->weightMax = s.weightMax;
  g->thrDownScale = s.thrDownScale;
  g->voltPeriod = s.voltPeriod;
  g->nextVoltTime = s.nextVoltTime;
  g->switchProb = s.switchProb;
  g->stdpRate = s.stdpRate;
  g->switching = s.switching ? 1 : 0;
  return g;
}

// Four draws per unit, in this order, even where a range is a single value.
void addDrawnUnits(Group* g, int count, const ProgramSettings& p) {
  for (int i = 0; i < count; ++i) {
    Unit* u = addUnit(g);
    u->excitatory = randProb(p.excitatoryProb);
    u->threshold = randFloat(p.threshold.lo, p.threshold.hi);
    u->resetPotential = randFloat(p.resetPotential.lo, p.resetPotential.hi);
    u->leak = randFloat(p.leak.lo, p.leak.hi);
  }
}

float connectionProbability(const ProgramSettings& p, const Group* target) {
  if (p.connectionsPerUnit > 0) {
    return static_cast<float>(p.connectionsPerUnit / static_cast<double>(target->units->count));
  }
  return p.connectionProb;
}

// Every candidate pair draws once, the self pair included; a created synapse
// draws its weight, then its delay (and addSynapse its last switch time).
void connectTo(Unit* pre, Group* to, const ProgramSettings& p) {
  const float probability = connectionProbability(p, to);
  for (std::uint32_t id = to->units->count; id-- > 0;) {  // newest first
    Unit* post = unitById(to, id);
    if (!randProb(probability) || pre == post) continue;
    const Range& w = pre->excitatory ? p.excitatoryWeight : p.inhibitoryWeight;
    const float weight = randFloat(w.lo, w.hi);
    float delay;
    if (p.delayDraw == DelayDraw::Uniform) {
      delay = randFloat(p.delay.lo, p.delay.hi);
    } else {
      const float u = randFloat(p.delay.lo, p.delay.hi);
      delay = static_cast<float>(-std::log(static_cast<double>(u)) * p.delayScale);
    }
#if NET1_EDITION == 2
    Synapse* s = addSynapse(pre, post, delay, weight);
    if (p.startActive) switchSynapse(s, true, s->lastSwitch);
#else
    addSynapse(pre, post, delay, weight);
#endif
  }
}

}  // namespace

Network buildNetwork(const ProgramSettings& p) {
  Network n;
  n.sorc = makeGroup("sorc", p.sorc);
  for (int i = 0; i < p.sorc.size; ++i) {
    Unit* u = addUnit(n.sorc);
    u->excitatory = 1;
    u->threshold = p.input.threshold;
    u->leak = p.input.leak;
    u->resetPotential = p.input.resetPotential;
  }
  n.rsvr = makeGroup("rsvr", p.rsvr);
  addDrawnUnits(n.rsvr, p.rsvr.size, p);
  n.sink = makeGroup("sink", p.sink);
  addDrawnUnits(n.sink, p.sink.size, p);

  // Units are walked newest first, that is in descending id.
  for (std::uint32_t id = n.sorc->units->count; id-- > 0;) connectTo(unitById(n.sorc, id), n.rsvr, p);
  // Each reservoir unit draws its reservoir targets, then its sink targets.
  for (std::uint32_t id = n.rsvr->units->count; id-- > 0;) {
    connectTo(unitById(n.rsvr, id), n.rsvr, p);
    connectTo(unitById(n.rsvr, id), n.sink, p);
  }
  return n;
}

void freeNetwork(Network& n) {
  freeGroupUnitsAndPostSynapses(n.sorc);
  freeGroupUnitsAndPostSynapses(n.rsvr);
  freeGroupUnitsAndPostSynapses(n.sink);
  n = Network{};
}

}  // namespace net1::drivers
