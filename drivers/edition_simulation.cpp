// The simulation of a description on one edition of the engine: its
// network, its queue and its stimuli. Compiled once per edition.
#include <cmath>
#include <limits>

#include "network_build.h"
#include "progress.h"
#include "simulation.h"
#include "trace_lines.h"

namespace net1::drivers::NET1_EDITION_NAMESPACE {
namespace {

// One stimulus on its own clock: its next delivery is drawn as soon as it
// is needed, before the engine runs up to it, so that its draws come
// before every draw the engine makes meanwhile.
struct StimulusClock {
  const StimulusSpec* spec = nullptr;
  Group* group = nullptr;
  double last = 0.0;  // the time of its last delivery
  long delivered = 0;
  bool ready = false;  // `time` and `unit` hold the next delivery
  double time = 0.0;
  Unit* unit = nullptr;
  // xor: the half being stimulated, the place in it, and the window's end.
  int pattern = 0;
  std::uint32_t position = 0;
  double windowEnd = 0.0;

  void prepare() {
    const std::uint32_t size = group->units->count;
    switch (spec->kind) {
      case StimulusKind::random: {
        // The interval's draw comes before the unit's.
        const float u = randFloat(0.000001f, 0.999999f);
        time = -std::log(static_cast<double>(u)) * spec->interval + last;
        unit = unitById(group, randBelow(size));
        break;
      }
      case StimulusKind::cyclic:
        time = spec->interval + last;
        unit = unitById(group, static_cast<std::uint32_t>(delivered % size));
        break;
      case StimulusKind::xor_: {
        // Windows are cut on the running sum of the intervals.
        const std::uint32_t half = size / 2;
        if (delivered != 0) ++position;
        if (last + spec->interval > windowEnd) {
          pattern = static_cast<int>(randBelow(2));
          windowEnd = windowEnd + spec->window;
          position = 0;
        }
        unit = unitById(group, (pattern == 1 ? half : 0) + position % half);
        time = spec->interval + last;
        break;
      }
    }
    ready = true;
  }
};

class EditionSimulation final : public Simulation {
 public:
  EditionSimulation(const Description& d, std::vector<Group*> groups, Stream& out, const TraceRouting& routing)
      : d_(d), groups_(std::move(groups)), out_(out) {
    q_ = allocRecord<EventQueue>();
    // Kinds not recorded are not even formatted; a stream with none of its
    // kinds recorded is left out, which changes nothing but the output.
    using trace::bit;
    using trace::Kind;
    out.record(routing.kinds);
    // The run's lines are formatted beside the simulation, on a core of their own.
    out.formatOnThread();
    if (!routing.traceless) {
      if (routing.kinds & bit(Kind::spk)) q_->spikeLog = &out;
      if (routing.kinds & (bit(Kind::swon) | bit(Kind::swoff) | bit(Kind::nmp))) q_->switchLog = &out;
      if (routing.plasticity) q_->plasticityLog = &out;
      if (routing.volt) q_->voltLog = &out;
    }
    // Without a factor the settings make it moot; 1 is neutral anyway.
    q_->rateFactor = d.run.rateFactor.value_or(1.0f);
    for (const StimulusSpec& s : d_.stimuli) {
      StimulusClock clock;
      clock.spec = &s;
      clock.windowEnd = s.window;
      for (std::size_t i = 0; i < d_.groups.size(); ++i) {
        if (d_.groups[i].name == s.group) clock.group = groups_[i];
      }
      stimuli_.push_back(clock);
    }
  }

  ~EditionSimulation() override {
    out_.formatHere();
    // Events still pending, the last stimulus among them, are released undelivered.
    freeNetwork(groups_);
    freeQueue(q_);
  }

  bool run(long steps, RunWatch& watch) override {
    for (long n = 0; n < steps; ++n) {
      if (d_.run.switchOffAfter > 0 && done_ == d_.run.switchOffAfter) switchOff();
      StimulusClock* next = nullptr;
      for (StimulusClock& s : stimuli_) {
        if (!s.ready) s.prepare();
        if (!next || s.time < next->time) next = &s;
      }
      if (!next) return true;
      runUntil(q_, next->time);
      addEvent(q_, 0.0, next->spec->amount, next->unit, nullptr);
      next->last = next->time;
      next->ready = false;
      ++next->delivered;
      ++done_;
      if (!stepDone(watch)) return false;
    }
    return true;
  }

  void report() override {
    for (Group* g : groups_) printUnits(&out_, g);
    for (Group* g : groups_) printSynapses(&out_, g);
  }

  double now() const override { return q_->now; }
  long stepsDone() const override { return done_; }
  std::uint64_t eventsAdded() const override { return q_->added; }

 private:
  // Plasticity and switching end together, between two steps; the switching
  // flags stay set, so marks and switch-on draws go on with probability 0.
  void switchOff() {
    for (Group* g : groups_) g->switchProb = 0;
    for (Group* g : groups_) g->stdpRate = 0;
    if (d_.run.switchOffLineTime) {
      trace::line<trace::Kind::swofftime>(out_, q_->now);
    } else {
      trace::line<trace::Kind::swofftime>(out_);
    }
  }

  // After each step: progress, a stop asked for by a signal, and now and
  // then the output, so that a full disk stops the run early.
  bool stepDone(RunWatch& watch) {
    watch.stepsDone = done_;
    if (watch.progress) watch.progress->step(done_, q_->now);
    if (watch.stop && *watch.stop) return false;
    return (done_ & 4095) != 0 || out_.error() == 0;
  }

  const Description d_;  // the stimuli's clocks point into it
  std::vector<Group*> groups_;
  Stream& out_;
  EventQueue* q_ = nullptr;
  std::vector<StimulusClock> stimuli_;
  long done_ = 0;
};

}  // namespace

std::unique_ptr<Simulation> makeSimulation(const Description& d, Stream& out, const TraceRouting& routing,
                                           const volatile std::sig_atomic_t* stop) {
  std::vector<Group*> groups = buildNetwork(d, stop);
  if (groups.empty() && !d.groups.empty()) return nullptr;
  return std::make_unique<EditionSimulation>(d, std::move(groups), out, routing);
}

}  // namespace net1::drivers::NET1_EDITION_NAMESPACE
