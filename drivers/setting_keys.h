// The keys of a run's settings: one list, from which --set, --params,
// --print-params and the run record all take the names, the order, the
// one-line description and the allowed values. A key names what it sets:
// GROUP.FIELD for a group's field (the engine's own field names), a plain
// name for the network's draws and the run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings.h"

namespace net1::drivers {

// The values a key allows, beyond being a finite number of its type.
enum class Check : std::uint8_t {
  Finite,
  NonNegative,
  Positive,
  Probability,  // 0 to 1
  GroupSize,    // 1 to kMaxGroupSize
  StepCount,    // 0 to kMaxSteps
};

inline constexpr long kMaxGroupSize = 5000;  // the engine's unit table per group
inline constexpr long kMaxSteps = 1000000000;

struct Key {
  std::string_view group;  // "sorc", "rsvr" or "sink"; empty for a plain key
  std::string_view field;
  std::string_view help;   // one line, for --print-params
  Check check = Check::Finite;
  bool edition2Effect = false;  // read only by the edition-2 engine
};

std::string keyName(const Key& key);

// Calls visit(key, field) for every setting of `p`, in the order in which
// --print-params lists them: the plain keys first, then each group's.
// `Settings` is ProgramSettings, const or not; the field is a reference of
// its own type (long, int, float, double, bool, Range, Stimulus, DelayDraw,
// std::optional<float>).
template <class Settings, class Visit>
void forEachSetting(Settings& p, Visit&& visit) {
  visit(Key{"", "steps", "stimulation steps (0 to 1000000000)", Check::StepCount}, p.steps);
  visit(Key{"", "switchOffAfter", "switching and STDP end after this many steps (0: never)", Check::StepCount},
        p.switchOffAfter);
  visit(Key{"", "stimulus",
            "\"random\": a random input unit per step; \"cyclic\": the input units in turn; "
            "\"xor\": one half of them in turn, the half drawn per window"},
        p.stimulus);
  visit(Key{"", "interval", "random: the mean interval between two stimuli; cyclic and xor: the interval",
            Check::Positive},
        p.interval);
  visit(Key{"", "window", "xor: how long one half of the input units is stimulated before the next draw",
            Check::Positive},
        p.window);
  visit(Key{"", "amount", "the input each stimulus delivers"}, p.amount);
  visit(Key{"", "switchOffLineTime", "the switch-off line carries its time (\"swofftime T\"), else it is bare"},
        p.switchOffLineTime);
  if (p.edition == 2) {
    visit(Key{"", "rateFactor",
              "switching on is rateFactor times as likely, switching off 1/rateFactor times (the FACTOR argument)",
              Check::NonNegative},
          p.rateFactor);
  }

  visit(Key{"", "excitatoryProb", "rsvr and sink units: the probability that a unit is excitatory",
            Check::Probability},
        p.excitatoryProb);
  visit(Key{"", "threshold", "rsvr and sink units: threshold, drawn from [lo, hi]"}, p.threshold);
  visit(Key{"", "resetPotential", "rsvr and sink units: potential after a spike, drawn from [lo, hi]"},
        p.resetPotential);
  visit(Key{"", "leak", "rsvr and sink units: decay rate of the potential, drawn from [lo, hi]", Check::NonNegative},
        p.leak);

  visit(Key{"", "connectionProb", "the probability of a synapse for each candidate pair of units",
            Check::Probability},
        p.connectionProb);
  visit(Key{"", "connectionsPerUnit",
            "above 0, replaces connectionProb: a unit's expected synapses into each target group "
            "(the probability is this over the target's size)",
            Check::NonNegative},
        p.connectionsPerUnit);
  visit(Key{"", "excitatoryWeight", "weight of a synapse from an excitatory unit, drawn from [lo, hi]"},
        p.excitatoryWeight);
  visit(Key{"", "inhibitoryWeight", "weight (a magnitude) of a synapse from an inhibitory unit, drawn from [lo, hi]"},
        p.inhibitoryWeight);
  visit(Key{"", "delayDistribution",
            "\"exponential\": delay = -ln(u) * delayScale, u drawn from `delay`; \"uniform\": drawn from `delay`"},
        p.delayDraw);
  visit(Key{"", "delay", "[lo, hi]: the range of u (exponential, inside (0, 1)) or of the delay (uniform, above 0)"},
        p.delay);
  visit(Key{"", "delayScale", "exponential delays: the factor on -ln(u), about their mean", Check::Positive},
        p.delayScale);
  if (p.edition == 2) {
    visit(Key{"", "startActive", "every synapse starts switched on"}, p.startActive);
  }

  auto group = [&](std::string_view name, auto& g) {
    visit(Key{name, "size", "units (1 to 5000)", Check::GroupSize}, g.size);
    visit(Key{name, "refractory", "time after a spike during which input to a unit is dropped", Check::NonNegative},
          g.refractory);
    visit(Key{name, "switching", "synapses leaving this group's units may be switched on and off"}, g.switching);
    visit(Key{name, "switchProb", "the probability of each switching draw, until the switch-off", Check::Probability},
          g.switchProb);
    visit(Key{name, "stdpRate", "STDP amplitude (0: no STDP), until the switch-off", Check::NonNegative}, g.stdpRate);
    visit(Key{name, "thrUpRate",
              "threshold adaptation (0: none): a spike caused by excitatory input moves the threshold by this share "
              "towards thrCeiling",
              Check::NonNegative},
          g.thrUpRate);
    visit(Key{name, "thrDownScale",
              "excitatory input that causes no spike moves the threshold by thrUpRate * thrDownScale towards thrFloor",
              Check::NonNegative, true},
          g.thrDownScale);
    visit(Key{name, "thrFloor", "where adapted thresholds fall to", Check::Finite, true}, g.thrFloor);
    visit(Key{name, "thrCeiling", "where adapted thresholds rise to"}, g.thrCeiling);
    visit(Key{name, "weightMin", "STDP keeps the weights of synapses leaving this group above this"}, g.weightMin);
    visit(Key{name, "weightMax", "... and below this"}, g.weightMax);
    visit(Key{name, "voltPeriod", "length of the voltage-report windows, the \"volt\" lines (0: none)",
              Check::NonNegative},
          g.voltPeriod);
    visit(Key{name, "nextVoltTime", "end of the first voltage-report window", Check::NonNegative}, g.nextVoltTime);
  };
  group("sorc", p.sorc);
  visit(Key{"sorc", "threshold", "threshold of every input unit"}, p.input.threshold);
  visit(Key{"sorc", "leak", "leak of every input unit", Check::NonNegative}, p.input.leak);
  visit(Key{"sorc", "resetPotential", "potential of an input unit after a spike"}, p.input.resetPotential);
  group("rsvr", p.rsvr);
  group("sink", p.sink);
}

// Keys that only the edition-2 programs have.
bool isEdition2Key(std::string_view name);

// The names of the choices, as the settings spell them.
std::string_view choiceName(Stimulus s);
std::string_view choiceName(DelayDraw d);

// The shortest decimal text that reads back as exactly this value (through
// a double, for a float, as a TOML reader reads it), always with a point
// or an exponent so that TOML reads it as a real number.
std::string realText(float value);
std::string realText(double value);

}  // namespace net1::drivers
