// A network description: everything a run is. Groups in order of creation,
// each with its parameters and how its units' values are set; pathways of
// synapses between any two groups, each with its own rule; stimuli into any
// group; and the run itself. The nine experiments are nine descriptions
// (experiments/); a researcher's network is a tenth.
//
// Every field is listed once, below, with its name, its check and its
// one-line help; the readers and writers of descriptions (TOML, JSON), the
// settings keys and --print-params all walk these lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core.h"
#include "group_parameters.h"

namespace net1::drivers {

struct Range {
  float lo = 0;
  float hi = 0;
};

// A value of every unit of a group: one for all, or drawn for each.
struct UnitValue {
  bool drawn = false;
  float value = 0;  // when not drawn
  Range range;      // when drawn
};

// Whether a group's units are excitatory: all or none, or drawn for each
// with a probability.
struct UnitKind {
  bool drawn = false;
  bool excitatory = false;  // when not drawn
  float probability = 0;    // when drawn
};

struct GroupSpec {
  std::string name;
  long size = 0;
  GroupParameters parameters;  // the engine's group fields, all of them
  // Drawn per unit right after it is made, in this order, where drawn.
  UnitKind excitatory;
  UnitValue threshold, resetPotential, leak;
};

enum class ConnectionRule {
  pairwise,  // every candidate pair draws once; a unit and itself draw and make nothing
  fixed,     // each unit of `from` makes exactly perUnit synapses, to distinct units of `to`
  list,      // the synapses given, pre and post unit, weight and delay each
};

enum class DelayDraw {
  exponential,  // -ln(u) * delayScale, u drawn from `delay`
  uniform,      // drawn from `delay`
};

struct PathwaySpec {
  std::string name;  // empty: it is called FROM->TO
  std::string from, to;
  ConnectionRule rule = ConnectionRule::pairwise;
  float probability = 0;  // pairwise, unless perUnit is above 0
  double perUnit = 0;     // pairwise: expected synapses per unit of `from`; fixed: exactly these
  Range excitatoryWeight;  // of a synapse from an excitatory unit
  Range inhibitoryWeight;  // ... from an inhibitory one (a magnitude)
  DelayDraw delayDistribution = DelayDraw::exponential;
  Range delay;
  double delayScale = 0;
  bool startActive = false;  // every synapse switched on when made
  // list: one synapse per entry, in the order given for each pre unit.
  std::vector<std::uint32_t> preUnits, postUnits;
  std::vector<float> weights, delays;

  // The name that keys and messages call the pathway by.
  std::string label() const { return name.empty() ? from + "->" + to : name; }
};

enum class StimulusKind {
  random,  // exponential intervals of mean `interval`, a random unit each time
  cyclic,  // every `interval`, the units in turn
  xor_,    // every `interval`, one half of the units in turn, the half drawn per `window`
};

struct StimulusSpec {
  std::string name;
  std::string group;
  StimulusKind kind = StimulusKind::random;
  double interval = 0;
  double window = 1.0;
  float amount = 0;
};

struct RunSpec {
  long steps = 0;           // stimuli delivered, over all stimuli
  long switchOffAfter = 0;  // steps before switching and STDP end; 0: never
  bool switchOffLineTime = true;  // "swofftime T", else the bare "swofftime"
  int edition = 1;
  Generator generator = Generator::mt19937_64;
  // Edition 2's switch-rate factor; none when not given, which is allowed
  // only where it cannot change the run (factorCanMatter).
  std::optional<float> rateFactor;
};

struct Description {
  RunSpec run;
  std::vector<GroupSpec> groups;
  std::vector<PathwaySpec> pathways;
  std::vector<StimulusSpec> stimuli;

  const GroupSpec* group(std::string_view name) const;
};

// The limits of a description. A unit's id must fit the trace; names are
// what the trace can carry and keys can address.
inline constexpr long kMaxGroupSize = kMaxGroupCapacity;
inline constexpr long kMaxSteps = 1000000000;

// The values a field allows, beyond being of its type.
enum class Check : std::uint8_t {
  Finite,
  NonNegative,
  Positive,
  Probability,  // 0 to 1
  GroupSize,    // 1 to kMaxGroupSize
  StepCount,    // 0 to kMaxSteps
  Edition,      // 1 or 2
  Flag,
};

struct Field {
  std::string_view name;
  std::string_view help;  // one line, for --print-params
  Check check = Check::Finite;
  bool edition2 = false;  // read only by the edition-2 engine
  bool required = false;  // a description must give it
};

// Calls visit(field, value) for every field of a part of a description, in
// the order descriptions list them; `value` is a reference of the field's
// own type. Spec is the part, const or not.
template <class Spec, class Visit>
void forEachField(Spec& run, Visit&& visit)
  requires std::is_same_v<std::remove_const_t<Spec>, RunSpec>
{
  visit(Field{"steps", "stimuli to deliver, over all stimuli (0 to 1000000000)", Check::StepCount, false, true},
        run.steps);
  visit(Field{"switchOffAfter", "switching and STDP end after this many steps (0: never)", Check::StepCount},
        run.switchOffAfter);
  visit(Field{"switchOffLineTime", "the switch-off line carries its time (\"swofftime T\"), else it is bare"},
        run.switchOffLineTime);
  visit(Field{"edition", "the engine: 1, or 2, which scales switching by rateFactor and lowers the threshold of "
                         "a unit that excitatory input does not make fire",
              Check::Edition},
        run.edition);
  visit(Field{"generator", "\"mt19937_64\", the 64-bit generator; or \"lcg15\", the 15-bit one of the nine "
                           "experiments, which tells probabilities apart only in steps of 1/32768"},
        run.generator);
  if (run.edition == 2) {
    visit(Field{"rateFactor",
                "switching on is rateFactor times as likely, switching off 1/rateFactor times (the XOR programs' "
                "FACTOR)",
                Check::NonNegative, true},
          run.rateFactor);
  }
}

template <class Spec, class Visit>
void forEachField(Spec& g, Visit&& visit)
  requires std::is_same_v<std::remove_const_t<Spec>, GroupSpec>
{
  visit(Field{"size", "units (1 to 1000000)", Check::GroupSize, false, true}, g.size);
#define NET1_VISIT_PARAMETER(type, name, check, reader, help) \
  visit(Field{#name, help, Check::check, std::string_view(#reader) == "Edition2"}, g.parameters.name);
  NET1_GROUP_PARAMETERS(NET1_VISIT_PARAMETER)
#undef NET1_VISIT_PARAMETER
  visit(Field{"excitatory", "true or false for every unit, or the probability, drawn per unit, that it is"},
        g.excitatory);
  visit(Field{"threshold", "a unit's threshold: one value for all, or [lo, hi] drawn per unit"}, g.threshold);
  visit(Field{"resetPotential", "potential right after a spike: one value, or [lo, hi] drawn per unit"},
        g.resetPotential);
  visit(Field{"leak", "decay rate of the potential: one value, or [lo, hi] drawn per unit", Check::NonNegative},
        g.leak);
}

template <class Spec, class Visit>
void forEachField(Spec& p, Visit&& visit)
  requires std::is_same_v<std::remove_const_t<Spec>, PathwaySpec>
{
  visit(Field{"rule", "\"pairwise\": every candidate pair draws once; \"fixed\": each unit makes exactly perUnit "
                      "synapses, to distinct targets (its cost grows with the synapses made); \"list\": the "
                      "synapses of preUnits, postUnits, weights and delays"},
        p.rule);
  visit(Field{"probability", "pairwise: the probability of a synapse for each candidate pair", Check::Probability},
        p.probability);
  visit(Field{"perUnit",
              "pairwise, above 0: a unit's expected synapses, replacing probability by perUnit / units of `to`; "
              "fixed: a unit's synapses",
              Check::NonNegative},
        p.perUnit);
  const bool drawn = p.rule != ConnectionRule::list;  // a list gives its weights and delays
  visit(Field{"excitatoryWeight", "weight of a synapse from an excitatory unit, drawn from [lo, hi]", Check::Finite,
              false, drawn},
        p.excitatoryWeight);
  visit(Field{"inhibitoryWeight", "weight (a magnitude) of a synapse from an inhibitory unit, drawn from [lo, hi]",
              Check::Finite, false, drawn},
        p.inhibitoryWeight);
  visit(Field{"delayDistribution",
              "\"exponential\": delay = -ln(u) * delayScale, u drawn from `delay`; \"uniform\": drawn from `delay`"},
        p.delayDistribution);
  visit(Field{"delay", "[lo, hi]: the range of u (exponential, inside (0, 1)) or of the delay (uniform, above 0)",
              Check::Finite, false, drawn},
        p.delay);
  visit(Field{"delayScale", "exponential delays: the factor on -ln(u), about their mean", Check::NonNegative},
        p.delayScale);
  visit(Field{"startActive", "every synapse starts switched on"}, p.startActive);
  if (p.rule == ConnectionRule::list) {
    visit(Field{"preUnits", "list: each synapse's pre unit, by its id in `from`", Check::Finite, false, true},
          p.preUnits);
    visit(Field{"postUnits", "list: each synapse's post unit, by its id in `to`", Check::Finite, false, true},
          p.postUnits);
    visit(Field{"weights", "list: each synapse's weight", Check::Finite, false, true}, p.weights);
    visit(Field{"delays", "list: each synapse's delay, at least 1e-6", Check::NonNegative, false, true}, p.delays);
  }
}

template <class Spec, class Visit>
void forEachField(Spec& s, Visit&& visit)
  requires std::is_same_v<std::remove_const_t<Spec>, StimulusSpec>
{
  visit(Field{"group", "the group whose units are stimulated", Check::Finite, false, true}, s.group);
  visit(Field{"kind",
              "\"random\": a random unit at exponential intervals of mean `interval`; \"cyclic\": the units in "
              "turn every `interval`; \"xor\": one half of the units in turn, the half drawn per `window`",
              Check::Finite, false, true},
        s.kind);
  visit(Field{"interval", "random: the mean interval between two stimuli; cyclic and xor: the interval",
              Check::Positive, false, true},
        s.interval);
  visit(Field{"window", "xor: how long one half of the units is stimulated before the next draw", Check::Positive},
        s.window);
  visit(Field{"amount", "the input each stimulus delivers", Check::Finite, false, true}, s.amount);
}

// The names of the choices, as descriptions spell them.
std::string_view choiceName(ConnectionRule r);
std::string_view choiceName(DelayDraw d);
std::string_view choiceName(StimulusKind k);
std::string_view choiceName(Generator g);

// Whether edition 2's switch-rate factor can change anything: only the
// switching draws read it, and they switch nothing while every switchProb
// is 0 or no group switches.
bool factorCanMatter(const Description& d);

}  // namespace net1::drivers
