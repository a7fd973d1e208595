#include <cmath>

#include "experiment.h"
#include "progress.h"
#include "trace_lines.h"

namespace net1::drivers {
namespace {

// Plasticity and switching end together, between two steps; the switching
// flags stay set, so marks and switch-on draws go on with probability 0.
void switchOff(const ProgramSettings& p, const Network& n, const EventQueue* q, Stream& out) {
  for (Group* g : {n.sorc, n.rsvr, n.sink}) g->switchProb = 0;
  for (Group* g : {n.sorc, n.rsvr, n.sink}) g->stdpRate = 0;
  if (p.switchOffLineTime) {
    trace::line<trace::Kind::swofftime>(out, q->now);
  } else {
    trace::line<trace::Kind::swofftime>(out);
  }
}

// After each step: progress, a stop asked for by a signal, and now and
// then the output, so that a full disk stops the run early.
bool stepDone(long done, const EventQueue* q, const Stream& out, RunWatch& watch) {
  watch.stepsDone = done;
  if (watch.progress) watch.progress->step(done, q->now);
  if (watch.stop && *watch.stop) return false;
  return (done & 4095) != 0 || out.error() == 0;
}

bool stimulateSingleUnits(const ProgramSettings& p, const Network& n, EventQueue* q, Stream& out, RunWatch& watch) {
  const std::uint32_t inputs = n.sorc->units->count;
  for (long s = 1; s <= p.steps; ++s) {
    if (p.switchOffAfter > 0 && s == p.switchOffAfter + 1) switchOff(p, n, q, out);
    double interval;
    std::uint32_t k;
    if (p.stimulus == Stimulus::Cyclic) {
      interval = p.interval;
      k = static_cast<std::uint32_t>((s - 1) % inputs);
    } else {
      // The interval's draw comes before the unit's.
      const float u = randFloat(0.000001f, 0.999999f);
      interval = -std::log(static_cast<double>(u)) * p.interval;
      k = static_cast<std::uint32_t>(nextRandom()) % inputs;
    }
    runForward(q, interval);
    addEvent(q, 0.0, p.amount, unitById(n.sorc, k), nullptr);
    if (!stepDone(s, q, out, watch)) return false;
  }
  return true;
}

// Time is cut into windows on the running sum of the intervals; in each
// window one half of the input units, chosen by a draw, is stimulated in id
// order.
bool stimulatePatterns(const ProgramSettings& p, const Network& n, EventQueue* q, Stream& out, RunWatch& watch) {
  const std::uint32_t half = n.sorc->units->count / 2;
  int pattern = 0;
  std::uint32_t position = 0;
  double windowEnd = p.window;
  double stimulusTime = 0.0;
  for (long step = 0; step < p.steps; ++step) {
    if (p.switchOffAfter > 0 && step == p.switchOffAfter) switchOff(p, n, q, out);
    if (step != 0) ++position;
    if (stimulusTime + p.interval > windowEnd) {
      pattern = nextRandom() % 2;
      windowEnd = windowEnd + p.window;
      position = 0;
    }
    Unit* input = unitById(n.sorc, (pattern == 1 ? half : 0) + position % half);
    stimulusTime = runForward(q, p.interval);
    addEvent(q, 0.0, p.amount, input, nullptr);
    if (!stepDone(step + 1, q, out, watch)) return false;
  }
  return true;
}

}  // namespace

bool stimulate(const ProgramSettings& p, const Network& n, EventQueue* q, Stream& out, RunWatch& watch) {
  if (p.stimulus == Stimulus::XorPatterns) return stimulatePatterns(p, n, q, out, watch);
  return stimulateSingleUnits(p, n, q, out, watch);
}

}  // namespace net1::drivers
