#include "decay.h"
#include "net1.h"
#include "trace_lines.h"

namespace net1 {
namespace {

// Only input through a synapse from an excitatory unit adapts a threshold.
bool adapts(const Event* event, const Group* g) {
  return event->synapse && g->thrUpRate > 0 && event->synapse->pre->excitatory;
}

}  // namespace

int updateAndFireUnit(const Event* event, EventQueue* q) {
  if (!event || !q) fatal("event or q is NULL");
  Unit* u = event->unit;
  Group* g = u->group;
  const float old = u->potential;

  // Closed-form leak over the whole time since the last update; the pending
  // input is added after the decay.
  const double x = -(event->time - u->lastUpdate) * static_cast<double>(u->leak);
  // A unit at rest decays to the same zero whatever the factor, as long as
  // the factor is finite (exp(x) is for x <= 709): exp is skipped.
  const float decayed = old == 0 && x <= 709.0 ? old : static_cast<float>(decayFactor(x) * static_cast<double>(old));
  const float potential = decayed + u->input;
  u->potential = potential < 0 ? 0.0f : potential;

  int fired = 0;
  if (u->potential >= u->threshold) {
    fired = 1;
    u->potential = u->resetPotential;
    u->lastSpike = event->time;
    if (adapts(event, g)) {
      u->threshold = u->threshold + g->thrUpRate * (g->thrCeiling - u->threshold);
      if (q->plasticityLog) {
        trace::line<trace::Kind::uthr>(*q->plasticityLog, q->now, g->name, u->id, u->excitatory, g->thrUpRate,
                                       u->threshold);
      }
    }
    // The unit propagates at the end of this instant: the synapses that
    // will carry its spike are fetched meanwhile.
    if (const SynapseList* out = u->postSynapses) {
      for (const ActiveSynapse& on : out->active) __builtin_prefetch(on.synapse);
    }
    updatePreSynapses(u, q);
    if (q->spikeLog) {
      trace::line<trace::Kind::spk>(*q->spikeLog, q->now, g->name, u->id, u->excitatory,
                                    static_cast<std::int32_t>(q->count));
    }
  }
#if NET1_EDITION == 2
  else if (adapts(event, g)) {
    const float rate = g->thrUpRate * g->thrDownScale;
    u->threshold = u->threshold + rate * (g->thrFloor - u->threshold);
    if (q->plasticityLog) {
      trace::line<trace::Kind::dthr>(*q->plasticityLog, q->now, g->name, u->id, u->excitatory, rate, u->threshold);
    }
  }
#endif

  if (g->voltPeriod > 0) {
    // Windows close lazily, at the group's first update after their end; one
    // line covers every window that elapsed since the previous line.
    if (q->now > g->nextVoltTime) {
      if (q->voltLog) {
        trace::line<trace::Kind::volt>(*q->voltLog, g->name, g->nextVoltTime, g->voltInputSum, g->voltChangeSum);
      }
      g->voltInputSum = 0;
      g->voltChangeSum = 0;
      while (q->now > g->nextVoltTime) g->nextVoltTime += g->voltPeriod;
    }
    g->voltInputSum += u->input;
    g->voltChangeSum += u->potential - old;
  }

  u->input = 0;
  u->lastUpdate = event->time;
  return fired;
}

}  // namespace net1
