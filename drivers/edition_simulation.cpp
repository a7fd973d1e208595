// The simulation of a description on one edition of the engine: its
// network, its queue and its stimuli. Compiled once per edition.
#include <cmath>
#include <limits>

#include "description_checks.h"
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
      const trace::KindSet wanted = routing.kinds | routing.collected;
      constexpr trace::KindSet plasticity = bit(Kind::uthr) | bit(Kind::dthr) | bit(Kind::ustdp) | bit(Kind::dstdp);
      if (wanted & bit(Kind::spk)) q_->spikeLog = &out;
      if (wanted & (bit(Kind::swon) | bit(Kind::swoff) | bit(Kind::nmp))) q_->switchLog = &out;
      if (routing.plasticity || (routing.collected & plasticity)) q_->plasticityLog = &out;
      if (routing.volt || (routing.collected & bit(Kind::volt))) q_->voltLog = &out;
    }
    // Without a factor the settings make it moot; 1 is neutral anyway.
    q_->rateFactor = d.run.rateFactor.value_or(1.0f);
    q_->pendingLimit = pendingEventLimit();
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
    return deliver(steps, std::numeric_limits<double>::infinity(), watch);
  }

  bool runUntil(double time, long steps, RunWatch& watch) override {
    if (!deliver(steps, time, watch)) return false;
    // Stimuli still due before then wait for more steps; the engine must
    // not run past them.
    for (const StimulusClock& s : stimuli_) {
      if (s.ready && s.time < time) return true;
    }
    if (time > q_->now) net1::runUntil(q_, time);
    return true;
  }

  std::string inject(std::size_t group, std::uint32_t unit, double time, float amount) override {
    if (group >= groups_.size()) return "there is no group " + std::to_string(group);
    Unit* u = unitById(groups_[group], unit);
    if (!u) {
      return "group " + d_.groups[group].name + " has no unit " + std::to_string(unit) + " (it has " +
             std::to_string(groups_[group]->units->count) + ")";
    }
    if (!(time >= q_->now)) return "input at " + std::to_string(time) + " is before the time now, " + std::to_string(q_->now);
    addEventAt(q_, time, amount, u, nullptr);
    return "";
  }

  std::string change(const Description& now) override {
    if (now.groups.size() != d_.groups.size() || now.pathways.size() != d_.pathways.size() ||
        now.stimuli.size() != d_.stimuli.size() || now.run.edition != d_.run.edition ||
        now.run.generator != d_.run.generator) {
      return "the network's shape, edition and generator are fixed once it is built";
    }
    for (std::size_t i = 0; i < groups_.size(); ++i) {
      const GroupSpec &was = d_.groups[i], &is = now.groups[i];
      if (was.size != is.size || was.excitatory.drawn != is.excitatory.drawn ||
          was.excitatory.excitatory != is.excitatory.excitatory ||
          was.excitatory.probability != is.excitatory.probability ||
          valueDiffers(was.threshold, is.threshold) || valueDiffers(was.resetPotential, is.resetPotential) ||
          valueDiffers(was.leak, is.leak)) {
        return "group " + was.name + ": its size and its units' values are fixed once they are made";
      }
    }
    for (std::size_t i = 0; i < now.stimuli.size(); ++i) {
      if (now.stimuli[i].group != d_.stimuli[i].group || now.stimuli[i].kind != d_.stimuli[i].kind) {
        return "stimulus " + d_.stimuli[i].name + ": its group and kind are fixed once it runs";
      }
    }
    // Only the parameters that changed: the engine's own may have moved
    // since (the switch-off sets switchProb and stdpRate to 0).
    for (std::size_t i = 0; i < groups_.size(); ++i) {
      const GroupParameters &was = d_.groups[i].parameters, &is = now.groups[i].parameters;
      Group* g = groups_[i];
#define NET1_CHANGE_PARAMETER(type, name, check, reader, help) \
  if (was.name != is.name) g->name = is.name;
      NET1_GROUP_PARAMETERS(NET1_CHANGE_PARAMETER)
#undef NET1_CHANGE_PARAMETER
    }
    if (now.run.rateFactor != d_.run.rateFactor) q_->rateFactor = now.run.rateFactor.value_or(1.0f);
    // The pathways are made; what they say now changes nothing.
    d_.run = now.run;
    d_.groups = now.groups;
    for (std::size_t i = 0; i < now.stimuli.size(); ++i) d_.stimuli[i] = now.stimuli[i];
    return "";
  }

  void units(UnitTable& t) const override {
    for (std::size_t gi = 0; gi < groups_.size(); ++gi) {
      const Group* g = groups_[gi];
      for (std::uint32_t id = 0; id < g->units->count; ++id) {
        const Unit* u = unitById(g, id);
        t.group.push_back(static_cast<std::uint16_t>(gi));
        t.id.push_back(u->id);
        t.excitatory.push_back(u->excitatory);
        t.threshold.push_back(u->threshold);
        t.leak.push_back(u->leak);
        t.resetPotential.push_back(u->resetPotential);
        t.potential.push_back(u->potential);
        t.lastSpike.push_back(u->lastSpike);
        const auto add = [](const auto* chain, auto& total, auto& active, auto& weight) {
          float sum = 0;
          if (chain) {
            for (const auto& on : chain->active) sum += on.synapse->weight;
          }
          total.push_back(chain ? static_cast<std::int32_t>(chain->all.size()) : 0);
          active.push_back(chain ? static_cast<std::int32_t>(chain->active.size()) : 0);
          weight.push_back(sum);
        };
        add(u->preSynapses, t.inTotal, t.inActive, t.inWeight);
        add(u->postSynapses, t.outTotal, t.outActive, t.outWeight);
      }
    }
  }

  void synapses(SynapseTable& t) const override {
    for (std::size_t gi = 0; gi < groups_.size(); ++gi) {
      const Group* g = groups_[gi];
      for (std::uint32_t id = 0; id < g->units->count; ++id) {
        const Unit* u = unitById(g, id);
        if (!u->postSynapses) continue;
        for (const Synapse* s : u->postSynapses->all) {
          t.preGroup.push_back(static_cast<std::uint16_t>(gi));
          t.pre.push_back(u->id);
          t.postGroup.push_back(static_cast<std::uint16_t>(indexOf(s->post->group)));
          t.post.push_back(s->post->id);
          t.active.push_back(s->active);
          t.weight.push_back(s->weight);
          t.delay.push_back(s->delay);
          t.lastSwitch.push_back(s->lastSwitch);
        }
      }
    }
  }

  void report() override {
    for (Group* g : groups_) printUnits(&out_, g);
    for (Group* g : groups_) printSynapses(&out_, g);
  }

  double now() const override { return q_->now; }
  long stepsDone() const override { return done_; }
  std::uint64_t eventsAdded() const override { return q_->added; }

  // Plasticity and switching end together, between two steps; the switching
  // flags stay set, so marks and switch-on draws go on with probability 0.
  void switchOff() override {
    switchedOff_ = true;
    for (Group* g : groups_) g->switchProb = 0;
    for (Group* g : groups_) g->stdpRate = 0;
    if (d_.run.switchOffLineTime) {
      trace::line<trace::Kind::swofftime>(out_, q_->now);
    } else {
      trace::line<trace::Kind::swofftime>(out_);
    }
  }

 private:
  static bool valueDiffers(const UnitValue& a, const UnitValue& b) {
    return a.drawn != b.drawn || a.value != b.value || a.range.lo != b.range.lo || a.range.hi != b.range.hi;
  }
  std::size_t indexOf(const Group* g) const {
    for (std::size_t i = 0; i < groups_.size(); ++i) {
      if (groups_[i] == g) return i;
    }
    return groups_.size();
  }

  // Steps, each delivering the stimulus due next, while it is due before
  // `until`.
  bool deliver(long steps, double until, RunWatch& watch) {
    for (long n = 0; n < steps; ++n) {
      if (d_.run.switchOffAfter > 0 && done_ == d_.run.switchOffAfter && !switchedOff_) switchOff();
      StimulusClock* next = nullptr;
      for (StimulusClock& s : stimuli_) {
        if (!s.ready) s.prepare();
        if (!next || s.time < next->time) next = &s;
      }
      if (!next || !(next->time < until)) return true;
      net1::runUntil(q_, next->time);
      addEvent(q_, 0.0, next->spec->amount, next->unit, nullptr);
      next->last = next->time;
      next->ready = false;
      ++next->delivered;
      ++done_;
      if (!stepDone(watch)) return false;
    }
    return true;
  }

  // After each step: progress, a stop asked for by a signal, and now and
  // then the output, so that a full disk stops the run early.
  bool stepDone(RunWatch& watch) {
    watch.stepsDone = done_;
    if (watch.progress) watch.progress->step(done_, q_->now);
    if (watch.stop && *watch.stop) return false;
    return (done_ & 4095) != 0 || out_.error() == 0;
  }

  Description d_;  // the stimuli's clocks point into its stimuli
  bool switchedOff_ = false;
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
