#include <cmath>

#include "experiment.h"
#include "trace_lines.h"
#include "progress.h"

namespace net1::drivers {
namespace {

// Plasticity and switching end together, between two steps; the switching
// flags stay set, so marks and switch-on draws go on with probability 0.
void switchOff(const ProgramSettings& p, const Network& n, const EventQueue* q, Stream& out) {
  for (Group* g : {n.sorc, n.rsvr, n.sink}) g->switchProb = 0;
  for (Group* g : {n.sorc, n.rsvr, n.sink}) g->stdpRate = 0;
  if (p.bareSwitchOffLine) {
    trace::line<trace::Kind::swofftime>(out);
  } else {
    trace::line<trace::Kind::swofftime>(out, q->now);
  }
}

// Output is checked now and then, so that a full disk stops the run early.
bool outputFailed(long step, const Stream& out) { return (step & 4095) == 0 && out.error() != 0; }

bool stimulateSingleUnits(const ProgramSettings& p, const Network& n, EventQueue* q, long steps, Stream& out,
                          Progress* progress) {
  const std::uint32_t inputs = n.sorc->units->count;
  for (long s = 1; s <= steps; ++s) {
    if (p.switchOffAfter > 0 && s == p.switchOffAfter + 1) switchOff(p, n, q, out);
    double interval;
    std::uint32_t k;
    if (p.stimulus == Stimulus::Cyclic) {
      interval = 0.05;
      k = static_cast<std::uint32_t>((s - 1) % inputs);
    } else {
      // The interval's draw comes before the unit's.
      const float u = randFloat(0.000001f, 0.999999f);
      interval = -std::log(static_cast<double>(u)) * p.intervalScale;
      k = static_cast<std::uint32_t>(nextRandom()) % inputs;
    }
    runForward(q, interval);
    addEvent(q, 0.0, p.amount, unitById(n.sorc, k), nullptr);
    if (progress) progress->step(s, q->now);
    if (outputFailed(s, out)) return false;
  }
  return true;
}

// Time is cut into windows of 1.0 on the running sum of 0.05 intervals; in
// each window one half of the input units, chosen by a draw, is stimulated
// in id order.
bool stimulatePatterns(const ProgramSettings& p, const Network& n, EventQueue* q, long steps, Stream& out,
                       Progress* progress) {
  const std::uint32_t half = n.sorc->units->count / 2;
  int pattern = 0;
  std::uint32_t position = 0;
  double windowEnd = 1.0;
  double stimulusTime = 0.0;
  for (long step = 0; step < steps; ++step) {
    if (p.switchOffAfter > 0 && step == p.switchOffAfter) switchOff(p, n, q, out);
    if (step != 0) ++position;
    if (stimulusTime + 0.05 > windowEnd) {
      pattern = nextRandom() % 2;
      windowEnd = windowEnd + 1.0;
      position = 0;
    }
    Unit* input = unitById(n.sorc, (pattern == 1 ? half : 0) + position % half);
    stimulusTime = runForward(q, 0.05);
    addEvent(q, 0.0, p.amount, input, nullptr);
    if (progress) progress->step(step + 1, q->now);
    if (outputFailed(step + 1, out)) return false;
  }
  return true;
}

}  // namespace

bool stimulate(const ProgramSettings& p, const Network& n, EventQueue* q, long steps, Stream& out,
               Progress* progress) {
  if (p.stimulus == Stimulus::XorPatterns) return stimulatePatterns(p, n, q, steps, out, progress);
  return stimulateSingleUnits(p, n, q, steps, out, progress);
}

}  // namespace net1::drivers
