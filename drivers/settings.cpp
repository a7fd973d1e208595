#include "settings.h"

#include <iterator>

namespace net1::drivers {
namespace {

// exp-poisson: a random network of varied units, weights and delays, driven
// at random. The other random programs are variants of it.
constexpr GroupSettings kRandomGroup{
    .switchProb = 0.05f, .thrFloor = 1.0f, .thrCeiling = 2.0f, .weightMin = 0.5f, .weightMax = 2.0f};

constexpr GroupSettings sized(GroupSettings g, int size, float refractory) {
  g.size = size;
  g.refractory = refractory;
  return g;
}

constexpr ProgramSettings kPoisson{
    .name = "exp-poisson",
    .edition = 1,
    .steps = 1100000,
    .switchOffAfter = 700000,
    .stimulus = Stimulus::RandomUnit,
    .interval = 0.05,
    .amount = 2.0f,
    .switchOffLineTime = true,
    .sorc = sized(kRandomGroup, 40, 0.0f),
    .rsvr = sized(kRandomGroup, 1000, 1.0f),
    .sink = sized(kRandomGroup, 100, 1.0f),
    .input = {.threshold = 1.0f, .leak = 1.0f, .resetPotential = 0.0f},
    .excitatoryProb = 0.75f,
    .threshold = {1.0f, 2.0f},
    .resetPotential = {0.5f, 1.0f},
    .leak = {0.1f, 1.0f},
    .connectionProb = 0.1f,
    .excitatoryWeight = {0.5f, 2.0f},
    .inhibitoryWeight = {0.5f, 2.0f},
    .delayDraw = DelayDraw::Exponential,
    .delay = {0.000001f, 0.999999f},
    .delayScale = 3.0,
};

constexpr ProgramSettings named(ProgramSettings p, std::string_view name) {
  p.name = name;
  return p;
}

// The -av programs: a higher switching probability, stimuli twenty times
// sparser in time, and a longer run.
constexpr ProgramSettings averaged(ProgramSettings p, std::string_view name) {
  p.name = name;
  for (GroupSettings* g : {&p.sorc, &p.rsvr, &p.sink}) g->switchProb = 0.1f;
  p.interval = 1.0;
  p.steps = 1600000;
  p.switchOffAfter = 800000;
  return p;
}

constexpr ProgramSettings withStdp(ProgramSettings p, std::string_view name) {
  p.name = name;
  for (GroupSettings* g : {&p.sorc, &p.rsvr, &p.sink}) g->stdpRate = 0.01f;
  return p;
}

// The homogeneous network: every draw collapses to one value (and still draws).
constexpr ProgramSettings homogeneous(ProgramSettings p, std::string_view name) {
  p.name = name;
  for (GroupSettings* g : {&p.sorc, &p.rsvr, &p.sink}) {
    g->thrCeiling = 1.0f;
    g->weightMin = 0.75f;
    g->weightMax = 0.75f;
  }
  p.amount = 1.0f;
  p.input.leak = 0.1f;
  p.threshold = {1.0f, 1.0f};
  p.resetPotential = {0.5f, 0.5f};
  p.leak = {0.1f, 0.1f};
  p.excitatoryWeight = {0.75f, 0.75f};
  p.inhibitoryWeight = {0.75f, 0.75f};
  p.delayDraw = DelayDraw::Uniform;
  p.delay = {0.5f, 1.0f};
  return p;
}

constexpr ProgramSettings cyclic(ProgramSettings p, std::string_view name) {
  p.name = name;
  p.stimulus = Stimulus::Cyclic;
  return p;
}

// exp-xor-shift: two input patterns on a network that switches itself on.
constexpr GroupSettings kXorGroup{
    .switchProb = 0.05f, .thrFloor = 1.5f, .thrCeiling = 2.0f, .weightMin = 1.5f, .weightMax = 2.0f};

constexpr GroupSettings xorGroup(int size, float refractory, float thrDownScale, double voltPeriod) {
  GroupSettings g = sized(kXorGroup, size, refractory);
  g.thrDownScale = thrDownScale;
  g.voltPeriod = voltPeriod;
  return g;
}

constexpr ProgramSettings kXorShift{
    .name = "exp-xor-shift",
    .edition = 2,
    .steps = 500000,
    .switchOffAfter = 200000,
    .stimulus = Stimulus::XorPatterns,
    .interval = 0.05,
    .window = 1.0,
    .amount = 2.0f,
    .switchOffLineTime = false,
    .sorc = xorGroup(40, 0.0f, 0.0f, 0.0),
    .rsvr = xorGroup(1000, 1.0f, 1.0f, 0.0),
    .sink = xorGroup(100, 1.0f, 1.0f, 1.0),
    .input = {.threshold = 1.5f, .leak = 0.5f, .resetPotential = 0.0f},
    .excitatoryProb = 0.75f,
    .threshold = {1.5f, 2.0f},
    .resetPotential = {1.5f, 1.5f},
    .leak = {0.1f, 0.5f},
    .connectionProb = 0.1f,
    .excitatoryWeight = {1.5f, 2.0f},
    .inhibitoryWeight = {0.0f, 0.5f},
    .delayDraw = DelayDraw::Exponential,
    .delay = {0.000001f, 0.999999f},
    .delayScale = 3.0,
};

// exp-xor-rand: a fixed sparse network, every synapse on from the start and
// none ever switched; 1.5 synapses per unit into each target group.
constexpr ProgramSettings fixedSparse(ProgramSettings p, std::string_view name) {
  p.name = name;
  for (GroupSettings* g : {&p.sorc, &p.rsvr, &p.sink}) g->switchProb = 0.0f;
  p.connectionsPerUnit = 1.5;
  p.excitatoryWeight = {1.0f, 2.0f};
  p.startActive = true;
  p.steps = 250000;
  p.switchOffAfter = 0;
  return p;
}

constexpr ProgramSettings kPrograms[] = {
    named(kPoisson, "exp-poisson"),
    averaged(kPoisson, "exp-poisson-av"),
    withStdp(kPoisson, "exp-stdp"),
    averaged(withStdp(kPoisson, ""), "exp-stdp-av"),
    homogeneous(kPoisson, "exp-homog"),
    [] {
      ProgramSettings p = averaged(homogeneous(kPoisson, ""), "exp-homog-av");
      p.switchOffLineTime = false;
      return p;
    }(),
    cyclic(kPoisson, "exp-seq"),
    fixedSparse(kXorShift, "exp-xor-rand"),
    named(kXorShift, "exp-xor-shift"),
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

bool factorCanMatter(const ProgramSettings& p) {
  bool drawsSwitch = false;
  bool switches = false;
  for (const GroupSettings* g : {&p.sorc, &p.rsvr, &p.sink}) {
    drawsSwitch = drawsSwitch || g->switchProb > 0;
    switches = switches || g->switching;
  }
  return drawsSwitch && switches;
}

}  // namespace net1::drivers
