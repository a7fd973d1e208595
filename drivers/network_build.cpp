#include "network_build.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "description_checks.h"

namespace net1::drivers::NET1_EDITION_NAMESPACE {
namespace {

bool stopped(const volatile std::sig_atomic_t* stop) { return stop && *stop; }

// A unit's values, drawn in this order where drawn, right after it is made.
void addUnits(Group* g, const GroupSpec& spec) {
  for (long i = 0; i < spec.size; ++i) {
    Unit* u = addUnit(g);
    u->excitatory = spec.excitatory.drawn ? randProb(spec.excitatory.probability) : spec.excitatory.excitatory;
    const auto value = [](const UnitValue& v) { return v.drawn ? randFloat(v.range.lo, v.range.hi) : v.value; };
    u->threshold = value(spec.threshold);
    u->resetPotential = value(spec.resetPotential);
    u->leak = value(spec.leak);
  }
}

// A new synapse draws its weight, then its delay (and the engine its last
// switch time).
void drawSynapse(Unit* pre, Unit* post, const PathwaySpec& p) {
  const Range& w = pre->excitatory ? p.excitatoryWeight : p.inhibitoryWeight;
  const float weight = randFloat(w.lo, w.hi);
  float delay;
  if (p.delayDistribution == DelayDraw::uniform) {
    delay = randFloat(p.delay.lo, p.delay.hi);
  } else {
    const float u = randFloat(p.delay.lo, p.delay.hi);
    delay = static_cast<float>(-std::log(static_cast<double>(u)) * p.delayScale);
  }
  appendSynapse(pre, post, delay, weight, p.startActive);
}

// Every candidate pair draws once, the self pair included.
void connectPairs(Unit* pre, Group* to, const PathwaySpec& p, float probability) {
  for (std::uint32_t id = to->units->count; id-- > 0;) {
    Unit* post = unitById(to, id);
    if (!randProb(probability) || pre == post) continue;
    drawSynapse(pre, post, p);
  }
}

// Exactly `count` distinct targets, drawn by Floyd's method (one draw each,
// however many targets there are), then connected newest first.
class FixedTargets {
 public:
  void connect(Unit* pre, Group* to, const PathwaySpec& p, std::uint32_t count) {
    const std::uint32_t size = to->units->count;
    const bool self = pre->group == to;
    const std::uint32_t candidates = self ? size - 1 : size;
    if (mark_.size() < size) mark_.resize(size, 0);
    ++stamp_;
    chosen_.clear();
    for (std::uint32_t j = candidates - count; j < candidates; ++j) {
      std::uint32_t t = randBelow(j + 1);
      if (mark_[t] == stamp_) t = j;
      mark_[t] = stamp_;
      chosen_.push_back(t);
    }
    // Candidates skip the unit itself.
    for (std::uint32_t& t : chosen_) {
      if (self && t >= static_cast<std::uint32_t>(pre->id)) ++t;
    }
    std::sort(chosen_.begin(), chosen_.end(), std::greater<>());
    for (std::uint32_t id : chosen_) drawSynapse(pre, unitById(to, id), p);
  }

 private:
  std::vector<std::uint32_t> mark_;  // mark_[t] == stamp_: t is chosen for this unit
  std::uint32_t stamp_ = 0;
  std::vector<std::uint32_t> chosen_;
};

// The synapses a list gives, each pre unit's in the order given: the units
// come newest first, so the list is walked by descending pre unit.
class ListedSynapses {
 public:
  explicit ListedSynapses(const PathwaySpec& p) : p_(p), order_(p.preUnits.size()) {
    for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = i;
    std::stable_sort(order_.begin(), order_.end(),
                     [&](std::size_t a, std::size_t b) { return p.preUnits[a] > p.preUnits[b]; });
  }
  void connect(Unit* pre, Group* to) {
    for (; next_ < order_.size() && p_.preUnits[order_[next_]] == static_cast<std::uint32_t>(pre->id); ++next_) {
      const std::size_t i = order_[next_];
      appendSynapse(pre, unitById(to, p_.postUnits[i]), p_.delays[i], p_.weights[i], p_.startActive);
    }
  }

 private:
  const PathwaySpec& p_;
  std::vector<std::size_t> order_;
  std::size_t next_ = 0;
};

}  // namespace

std::vector<Group*> buildNetwork(const Description& d, const volatile std::sig_atomic_t* stop) {
  std::vector<Group*> groups;
  for (const GroupSpec& spec : d.groups) {
    Group* g = addGroup(spec.name.c_str(), static_cast<std::uint32_t>(spec.size));
    static_cast<GroupParameters&>(*g) = spec.parameters;
    groups.push_back(g);
    addUnits(g, spec);
  }
  auto groupOf = [&](const std::string& name) {
    for (std::size_t i = 0; i < d.groups.size(); ++i) {
      if (d.groups[i].name == name) return groups[i];
    }
    return static_cast<Group*>(nullptr);
  };
  struct Leaving {
    const PathwaySpec* pathway;
    Group* to;
    float probability;
    std::shared_ptr<ListedSynapses> listed;
  };
  FixedTargets fixed;
  for (std::size_t gi = 0; gi < groups.size(); ++gi) {
    std::vector<Leaving> leaving;
    for (const PathwaySpec& p : d.pathways) {
      if (p.from != d.groups[gi].name) continue;
      leaving.push_back({&p, groupOf(p.to), p.rule == ConnectionRule::pairwise ? pairProbability(d, p) : 0.0f,
                         p.rule == ConnectionRule::list ? std::make_shared<ListedSynapses>(p) : nullptr});
    }
    if (leaving.empty()) continue;
    Group* from = groups[gi];
    for (std::uint32_t id = from->units->count; id-- > 0;) {  // newest first
      // A signal ends a large build within moments, not at its end.
      if (stopped(stop)) {
        freeNetwork(groups);
        return groups;
      }
      Unit* pre = unitById(from, id);
      for (const Leaving& l : leaving) {
        switch (l.pathway->rule) {
          case ConnectionRule::pairwise: connectPairs(pre, l.to, *l.pathway, l.probability); break;
          case ConnectionRule::fixed:
            fixed.connect(pre, l.to, *l.pathway, static_cast<std::uint32_t>(l.pathway->perUnit));
            break;
          case ConnectionRule::list: l.listed->connect(pre, l.to); break;
        }
      }
    }
  }
  for (Group* g : groups) orderChains(g);
  return groups;
}

void freeNetwork(std::vector<Group*>& groups) {
  for (Group* g : groups) freeGroupUnitsAndPostSynapses(g);
  groups.clear();
}

}  // namespace net1::drivers::NET1_EDITION_NAMESPACE
