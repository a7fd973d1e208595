// What each experiment program is: one row of settings per program, read by
// the one experiment skeleton. A row says everything in which the programs
// differ, so that it can be checked against the experiment's description
// line by line; a run starts from its program's row and may change any
// field of it (setting_keys.h names them).
#pragma once

#include <optional>
#include <string_view>

namespace net1::drivers {

struct Range {
  float lo = 0;
  float hi = 0;
};

// A group: its size and the engine's group fields that a run sets; every
// other field of the engine's group stays zero.
struct GroupSettings {
  int size = 0;
  float refractory = 0;
  float switchProb = 0;  // until the switch-off, then 0
  float stdpRate = 0;    // until the switch-off, then 0
  float thrUpRate = 0;
  float thrDownScale = 0;
  float thrFloor = 0;
  float thrCeiling = 0;
  float weightMin = 0;
  float weightMax = 0;
  double voltPeriod = 0;
  double nextVoltTime = 0;
  bool switching = true;
};

// Every input unit gets these values; nothing is drawn for them.
struct InputUnits {
  float threshold = 0;
  float leak = 0;
  float resetPotential = 0;
};

enum class Stimulus {
  RandomUnit,   // exponential intervals, a random input unit per step
  Cyclic,       // a fixed interval, the input units in turn
  XorPatterns,  // one of two halves of the input units per window of time
};

enum class DelayDraw {
  Exponential,  // -ln(u) * delayScale, u drawn from `delay`
  Uniform,      // drawn from `delay`
};

struct ProgramSettings {
  std::string_view name;
  int edition = 1;

  // The run.
  long steps = 0;
  long switchOffAfter = 0;  // steps before the switch-off; 0: never
  Stimulus stimulus = Stimulus::RandomUnit;
  // RandomUnit: the mean interval, -ln(u) * interval; otherwise the fixed
  // interval between two stimuli.
  double interval = 0;
  double window = 1.0;  // XorPatterns: time during which one pattern is shown
  float amount = 0;     // of every stimulus
  bool switchOffLineTime = true;  // "swofftime T", else the bare "swofftime"

  // Groups: sorc (the input units), rsvr, sink.
  GroupSettings sorc, rsvr, sink;
  InputUnits input;

  // Every rsvr and sink unit draws four values, in this order.
  float excitatoryProb = 0.75f;
  Range threshold, resetPotential, leak;

  // Connections.
  float connectionProb = 0;       // per candidate pair...
  double connectionsPerUnit = 0;  // ...unless this is above 0: then this / (units of the target group)
  Range excitatoryWeight;         // weight of a synapse from an excitatory unit
  Range inhibitoryWeight;         // ... and from an inhibitory one
  DelayDraw delayDraw = DelayDraw::Exponential;
  Range delay;
  double delayScale = 3.0;        // Exponential only
  bool startActive = false;       // every synapse switched on when it is made (edition 2)

  // Edition 2: the switch-rate factor; none when it was not given, which is
  // allowed only where it cannot change the run (factorCanMatter).
  std::optional<float> rateFactor = std::nullopt;
};

// The row of the program with that name, or null.
const ProgramSettings* findProgram(std::string_view name);
// Every row, for tests and help texts.
const ProgramSettings* programsBegin();
const ProgramSettings* programsEnd();

// Whether the switch-rate factor can change anything: only the switching
// draws read it, and they switch nothing while every switchProb is 0 or no
// group switches.
bool factorCanMatter(const ProgramSettings& p);

}  // namespace net1::drivers
