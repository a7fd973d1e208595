// What each experiment program is: one row of settings per program, read by
// the one experiment skeleton. A row says everything in which the programs
// differ, so that it can be checked against the experiment's description
// line by line.
#pragma once

#include <string_view>

namespace net1::drivers {

struct Range {
  float lo;
  float hi;
};

// The parameters a group gets after it is created; all others stay zero.
struct GroupSettings {
  float refractory;
  float thrFloor;
  float thrCeiling;
  float weightMin;
  float weightMax;
  float thrDownScale;
  double voltPeriod;
};

enum class Stimulus {
  RandomUnit,  // exponential intervals, a random input unit per step
  Cyclic,      // a fixed interval, the input units in turn
  XorPatterns, // one of two halves of the input units per window of time
};

struct ProgramSettings {
  std::string_view name;
  int edition;

  // Groups: sorc, rsvr, sink.
  float switchProb;  // all three groups, until the switch-off
  float stdpRate;    // all three groups, until the switch-off
  GroupSettings sorc, rsvr, sink;

  // Units. Input units are fixed; every rsvr and sink unit draws its values.
  float sorcThreshold;
  float sorcLeak;
  Range threshold, resetPotential, leak;

  // Connections.
  float connectionProb;       // per candidate pair, unless scaled by target size
  bool connectionPerTarget;   // probability 1.5 / (units of the target group)
  Range excitatoryWeight;     // weight of a synapse from an excitatory unit
  Range inhibitoryWeight;     // ... and from an inhibitory one
  bool uniformDelay;          // delay drawn from `delay`, else exponential of mean 3
  Range delay;
  bool startActive;           // every synapse switched on when it is made

  // The run.
  Stimulus stimulus;
  double intervalScale;  // RandomUnit: interval = -ln(u) * intervalScale
  float amount;          // of every stimulus
  long steps;
  long switchOffAfter;   // steps before the switch-off; 0: never
  bool bareSwitchOffLine;
};

// The row of the program with that name, or null.
const ProgramSettings* findProgram(std::string_view name);
// Every row, for tests and help texts.
const ProgramSettings* programsBegin();
const ProgramSettings* programsEnd();

}  // namespace net1::drivers
