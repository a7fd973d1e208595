// The simulation engine: records of a network of leaky integrate-and-fire
// units joined by delayed synapses, the event queue that carries spikes
// between them, and the operations that build, run, report and free it.
//
// The engine comes in two editions from one source, chosen by the build
// setting NET1_EDITION (1 or 2). Edition 2 adds the queue's rateFactor,
// the sub-threshold threshold decrease and returns the new synapse from
// addSynapse.
#pragma once

#include <cstddef>
#include <cstdint>

#include "trace_stream.h"

#if !defined(NET1_EDITION) || (NET1_EDITION != 1 && NET1_EDITION != 2)
#error "NET1_EDITION must be defined as 1 or 2 by the build"
#endif

namespace net1 {

struct Unit;
struct Synapse;
struct Event;
struct PendingEvents;

inline constexpr int kMaxUnitsPerGroup = 5000;
inline constexpr std::size_t kMaxGroupName = trace::kMaxNameLength;

// Header of a group's chain of units, newest first.
struct UnitList {
  std::uint32_t count = 0;  // also the id the next unit gets
  Unit* head = nullptr;     // the newest unit
  Unit* tail = nullptr;     // the group's first unit
};

// Header of a unit's incoming or outgoing chain of synapses, by delay.
struct SynapseList {
  std::uint32_t count = 0;
  // The length of `activeInOrder`, kept beside `count` so that the header
  // fills one cache line.
  std::uint32_t activeCount = 0;
  Synapse* head = nullptr;  // smallest delay
  Synapse* tail = nullptr;  // largest delay
  // The chain once more as arrays, in chain order: every synapse, and the
  // active ones alone. Both are made by the first walk and dropped when the
  // chain changes; every switch of one of its synapses updates the second.
  // Walks then skip the many switched-off synapses and load the others
  // independently instead of one link after the other.
  Synapse** inOrder = nullptr;
  Synapse** activeInOrder = nullptr;
  // Incoming chains only: the last switch time of each active synapse,
  // beside it in the same order, so that a walk that only compares switch
  // times reads one small array instead of every synapse.
  double* activeSwitchTimes = nullptr;
  // Outgoing chains only, beside `inOrder`: the last switch time of each
  // switched-off synapse, and +infinity for an active one, which therefore
  // never looks as if it had waited. The search for a synapse to switch on
  // reads this array alone.
  double* switchedOffSince = nullptr;
  std::uint8_t activeKnown = 0;
};

// The on/off flag of a synapse. It reads and writes as a byte; a write that
// switches the synapse also updates the lists of active synapses of both its
// chains, whoever switches it (the engine or a driver).
struct SwitchFlag {
  std::uint8_t value = 0;
  SwitchFlag() = default;
  SwitchFlag(const SwitchFlag&) = default;
  operator std::uint8_t() const { return value; }
  SwitchFlag& operator=(std::uint8_t on);
  SwitchFlag& operator=(const SwitchFlag& other) { return *this = other.value; }
};

// The time of a synapse's last switch. It reads and writes as a double; a
// write also updates the copies kept beside the lists of active synapses.
struct SwitchTime {
  double value = 0;
  SwitchTime() = default;
  SwitchTime(const SwitchTime&) = default;
  operator double() const { return value; }
  SwitchTime& operator=(double time);
  SwitchTime& operator=(const SwitchTime& other) { return *this = other.value; }
};

struct Group {
  float switchProb = 0;    // base probability of every switching draw
  float stdpRate = 0;      // STDP amplitude; > 0 enables STDP
  float thrUpRate = 0;     // threshold adaptation rate; > 0 enables adaptation
  float thrDownScale = 0;  // edition 2: factor on thrUpRate for the decrease
  float voltInputSum = 0;  // input summed over the current voltage window
  float voltChangeSum = 0; // potential change summed over the current window
  float refractory = 0;    // refractory period after a spike
  float thrFloor = 0;      // edition 2: target of the threshold decrease
  float thrCeiling = 0;    // target of the threshold increase
  float weightMin = 0;     // STDP clamp, lower bound
  float weightMax = 0;     // STDP clamp, upper bound
  double nextVoltTime = 0; // end of the current voltage window
  double voltPeriod = 0;   // voltage window length; > 0 enables voltage lines
  std::uint8_t switching = 0;  // 1: synapses leaving this group's units switch
  char name[kMaxGroupName + 1] = {};
  UnitList* units = nullptr;
  Unit* unitById[kMaxUnitsPerGroup] = {};
};

struct Unit {
  SynapseList* preSynapses = nullptr;   // incoming, sorted by delay
  SynapseList* postSynapses = nullptr;  // outgoing (owned), sorted by delay
  float potential = 0;       // never below 0 after an update
  float resetPotential = 0;  // potential right after a spike
  float leak = 0;            // decay rate per time unit
  float threshold = 0;
  float input = 0;           // pending input, cleared by every update
  double lastUpdate = 0;
  double lastSpike = 0;
  std::uint8_t excitatory = 0;  // sign of what the outgoing synapses deliver
  std::uint8_t marked = 0;      // set when a synapse from here is a switch-off candidate
  std::int32_t id = 0;
  std::int32_t markCount = 0;   // marks since the last propagation
  Group* group = nullptr;
  Unit* next = nullptr;  // the unit added just before this one
};

struct Synapse {
  Unit* pre = nullptr;
  Unit* post = nullptr;
  float delay = 0;
  float weight = 0;        // a magnitude: inhibitory units send -weight
  SwitchTime lastSwitch;   // time of the last switch on or off
  SwitchFlag active;       // 1: switched on and transmitting
  Synapse* nextIn = nullptr;   // next in the incoming chain of post
  Synapse* nextOut = nullptr;  // next in the outgoing chain of pre
};

// One pending delivery of input to a unit.
struct Event {
  Unit* unit = nullptr;
  Synapse* synapse = nullptr;  // null for a stimulus from a driver
  float amount = 0;
  double time = 0;       // absolute delivery time
  Event* next = nullptr; // neighbour on the earlier side
  Event* prev = nullptr; // neighbour on the later side: next in processing order
  std::uint64_t order = 0;  // insertion number: ties of equal time go first in, first out
  std::uint8_t inBlock = 0;  // fast store: taken out for the time point being executed
};

// The event queue. Pending events are processed in order of time, and among
// equal times in the order they were added. Two interchangeable stores keep
// that order: by default a calendar of time buckets ordered by (time,
// insertion number), with the events of the time point being executed moved
// into a short linked block; with `referenceList` set before the first event,
// the plain doubly linked list searched from its latest end, which serves as
// the reference design.
struct EventQueue {
  std::uint32_t count = 0;  // pending events, printed in every "spk" line
  double now = 0;           // current simulated time
#if NET1_EDITION == 2
  float rateFactor = 0;     // scales switch-on up and switch-off down
#endif
  Stream* spikeLog = nullptr;       // "spk"
  Stream* plasticityLog = nullptr;  // "uthr", "dthr", "ustdp", "dstdp"
  Stream* switchLog = nullptr;      // "swon", "swoff", "nmp"
  Stream* voltLog = nullptr;        // "volt"
  Event* head = nullptr;  // latest pending event (list) / latest of the block (fast store)
  Event* tail = nullptr;  // earliest pending event (list) / earliest of the block (fast store)
  std::uint8_t referenceList = 0;
  PendingEvents* pending = nullptr;  // the fast store, made by the first addEvent
  std::uint64_t added = 0;           // events added so far: the next insertion number
};

// Memory. Every record starts all zero; allocation failure is fatal.
// Either kind of block is released with std::free.
void* allocMem(std::size_t size);
void* allocMemAligned(std::size_t alignment, std::size_t size);
template <class T>
T* allocRecord() {
  return new (allocMem(sizeof(T))) T{};
}

// Fatal error: the fixed message on standard output (after everything
// written so far) and on standard error, then exit status 1.
[[noreturn, gnu::cold]] void fatal(const char* message);

// The process-wide 15-bit generator behind every random draw (values 0 to
// 32767), so that runs repeat exactly on every platform.
void seedRandom(std::uint32_t seed);
int nextRandom();
std::uint8_t randProb(float p);
float randFloat(float lo, float hi);

// Network construction and teardown.
Group* addGroup(const char* name);
Unit* addUnit(Group* group);
#if NET1_EDITION == 2
Synapse* addSynapse(Unit* pre, Unit* post, float delay, float weight);
#else
void addSynapse(Unit* pre, Unit* post, float delay, float weight);
#endif
int freePostSynapses(SynapseList* header);
int freeGroupUnitsAndPostSynapses(Group* group);

// Event queue.
Event* addEvent(EventQueue* q, double delay, float amount, Unit* unit, Synapse* synapse);
Event* deleteEvent(Event* event, EventQueue* q);
int freeQueue(EventQueue* q);
// The earliest pending event, or null: where every pass of a time point starts.
Event* earliestEvent(const EventQueue* q);
// Gathers every pending event at `now` into the block that the passes of a
// time point walk from `tail` along `prev`.
void beginTimePoint(EventQueue* q);

// Running.
int execNextTimePoint(EventQueue* q, double horizon);
double runForward(EventQueue* q, double interval);
int updateAndFireUnit(Event* event, EventQueue* q);
int updatePreSynapses(Unit* unit, EventQueue* q);
int tuneAndPropagate(Unit* unit, EventQueue* q);

// Final report.
int printUnits(Stream* stream, Group* group);
int printSynapses(Stream* stream, Group* group);

}  // namespace net1
