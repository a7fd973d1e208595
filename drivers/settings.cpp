#include "settings.h"

#include <iterator>

namespace net1::drivers {
namespace {

constexpr Range kExpDelay{0.000001f, 0.999999f};  // bounds of u in -ln(u) * 3

// Group parameters of the seven random and cyclic programs.
constexpr GroupSettings group(float refractory, float thrCeiling, float weightMin, float weightMax) {
  return GroupSettings{refractory, 1.0f, thrCeiling, weightMin, weightMax, 0.0f, 0.0};
}

// The network of the random programs: varied units, weights and delays.
constexpr ProgramSettings randomProgram(std::string_view name, float switchProb, float stdpRate,
                                        double intervalScale, long steps, long switchOffAfter) {
  return ProgramSettings{
      name, 1, switchProb, stdpRate,
      group(0.0f, 2.0f, 0.5f, 2.0f), group(1.0f, 2.0f, 0.5f, 2.0f), group(1.0f, 2.0f, 0.5f, 2.0f),
      1.0f, 1.0f, Range{1.0f, 2.0f}, Range{0.5f, 1.0f}, Range{0.1f, 1.0f},
      0.1f, false, Range{0.5f, 2.0f}, Range{0.5f, 2.0f}, false, kExpDelay, false,
      Stimulus::RandomUnit, intervalScale, 2.0f, steps, switchOffAfter, false};
}

// The homogeneous network: every draw collapses to one value (and still draws).
constexpr ProgramSettings homogProgram(std::string_view name, float switchProb, double intervalScale,
                                       long steps, long switchOffAfter, bool bareLine) {
  return ProgramSettings{
      name, 1, switchProb, 0.0f,
      group(0.0f, 1.0f, 0.75f, 0.75f), group(1.0f, 1.0f, 0.75f, 0.75f), group(1.0f, 1.0f, 0.75f, 0.75f),
      1.0f, 0.1f, Range{1.0f, 1.0f}, Range{0.5f, 0.5f}, Range{0.1f, 0.1f},
      0.1f, false, Range{0.75f, 0.75f}, Range{0.75f, 0.75f}, true, Range{0.5f, 1.0f}, false,
      Stimulus::RandomUnit, intervalScale, 1.0f, steps, switchOffAfter, bareLine};
}

constexpr ProgramSettings cyclicProgram() {
  ProgramSettings p = randomProgram("exp-seq", 0.05f, 0.0f, 0.0, 1100000, 700000);
  p.stimulus = Stimulus::Cyclic;
  return p;
}

// The two XOR programs share their groups and units.
constexpr ProgramSettings xorProgram(std::string_view name, float switchProb, float connectionProb,
                                     bool perTarget, Range excitatoryWeight, bool startActive,
                                     long steps, long switchOffAfter) {
  const GroupSettings sorc{0.0f, 1.5f, 2.0f, 1.5f, 2.0f, 0.0f, 0.0};
  const GroupSettings rsvr{1.0f, 1.5f, 2.0f, 1.5f, 2.0f, 1.0f, 0.0};
  const GroupSettings sink{1.0f, 1.5f, 2.0f, 1.5f, 2.0f, 1.0f, 1.0};
  return ProgramSettings{
      name, 2, switchProb, 0.0f, sorc, rsvr, sink,
      1.5f, 0.5f, Range{1.5f, 2.0f}, Range{1.5f, 1.5f}, Range{0.1f, 0.5f},
      connectionProb, perTarget, excitatoryWeight, Range{0.0f, 0.5f}, false, kExpDelay, startActive,
      Stimulus::XorPatterns, 0.0, 2.0f, steps, switchOffAfter, true};
}

constexpr ProgramSettings kPrograms[] = {
    randomProgram("exp-poisson", 0.05f, 0.0f, 0.05, 1100000, 700000),
    randomProgram("exp-poisson-av", 0.1f, 0.0f, 1.0, 1600000, 800000),
    randomProgram("exp-stdp", 0.05f, 0.01f, 0.05, 1100000, 700000),
    randomProgram("exp-stdp-av", 0.1f, 0.01f, 1.0, 1600000, 800000),
    homogProgram("exp-homog", 0.05f, 0.05, 1100000, 700000, false),
    homogProgram("exp-homog-av", 0.1f, 1.0, 1600000, 800000, true),
    cyclicProgram(),
    xorProgram("exp-xor-rand", 0.0f, 0.0f, true, Range{1.0f, 2.0f}, true, 250000, 0),
    xorProgram("exp-xor-shift", 0.05f, 0.1f, false, Range{1.5f, 2.0f}, false, 500000, 200000),
};

}  // namespace

const ProgramSettings* findProgram(std::string_view name) {
  for (const ProgramSettings& p : kPrograms) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

const ProgramSettings* programsBegin() { return std::begin(kPrograms); }
const ProgramSettings* programsEnd() { return std::end(kPrograms); }

}  // namespace net1::drivers
