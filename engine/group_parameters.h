// A group's parameters, listed once: the engine's group record declares its
// fields from this list, and a network description's keys, their checks,
// their help and their TOML and JSON forms are all made from it too.
//
// X(type, name, check, reader, help) for each, in the order descriptions
// list them. `check` names the values a description may give (Finite,
// NonNegative, Probability or Flag); `reader` says which editions read the
// field (All, or Edition2).
#pragma once

#include <cstdint>

#define NET1_GROUP_PARAMETERS(X)                                                                                \
  X(float, refractory, NonNegative, All, "time after a spike during which input to a unit is dropped")          \
  X(std::uint8_t, switching, Flag, All, "synapses leaving this group's units may be switched on and off")       \
  X(float, switchProb, Probability, All, "the probability of each switching draw, until the switch-off")        \
  X(float, stdpRate, NonNegative, All, "STDP amplitude (0: no STDP), until the switch-off")                     \
  X(float, thrUpRate, NonNegative, All,                                                                         \
    "threshold adaptation (0: none): a spike caused by excitatory input moves the threshold by this share "     \
    "towards thrCeiling")                                                                                       \
  X(float, thrDownScale, NonNegative, Edition2,                                                                 \
    "excitatory input that causes no spike moves the threshold by thrUpRate * thrDownScale "                    \
    "towards thrFloor")                                                                                         \
  X(float, thrFloor, Finite, Edition2, "where adapted thresholds fall to")                                      \
  X(float, thrCeiling, Finite, All, "where adapted thresholds rise to")                                         \
  X(float, weightMin, Finite, All, "STDP keeps the weights of synapses leaving this group above this")          \
  X(float, weightMax, Finite, All, "... and below this")                                                        \
  X(double, voltPeriod, NonNegative, All, "length of the voltage-report windows, the \"volt\" lines (0: none)") \
  X(double, nextVoltTime, NonNegative, All, "end of the first voltage-report window")

namespace net1 {

// Every parameter starts at zero, as every engine record does.
struct GroupParameters {
#define NET1_DECLARE_PARAMETER(type, name, check, reader, help) type name = 0;
  NET1_GROUP_PARAMETERS(NET1_DECLARE_PARAMETER)
#undef NET1_DECLARE_PARAMETER
};

}  // namespace net1
