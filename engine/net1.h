// The simulation engine: records of a network of leaky integrate-and-fire
// units joined by delayed synapses, the event queue that carries spikes
// between them, and the operations that build, run, report and free it.
//
// The engine comes in two editions from one source, chosen by the build
// setting NET1_EDITION (1 or 2). Edition 2 adds the queue's rateFactor,
// the sub-threshold threshold decrease and returns the new synapse from
// addSynapse.
//
// Records live inside their owners and are freed with them: a group holds
// its units side by side and the synapses that leave them, a unit its two
// chains. Nothing moves once made, so pointers to records stay valid until
// their group is freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <new>
#include <vector>

#include "trace_stream.h"

#if !defined(NET1_EDITION) || (NET1_EDITION != 1 && NET1_EDITION != 2)
#error "NET1_EDITION must be defined as 1 or 2 by the build"
#endif

namespace net1 {

struct Group;
struct Unit;
struct EventStore;

inline constexpr int kMaxUnitsPerGroup = 5000;
inline constexpr std::size_t kMaxGroupName = trace::kMaxNameLength;

struct Synapse {
  Unit* pre = nullptr;
  Unit* post = nullptr;
  float delay = 0;
  float weight = 0;         // a magnitude: inhibitory units send -weight
  // Changed by switchSynapse alone.
  double lastSwitch = 0;    // time of the last switch on or off
  std::uint8_t active = 0;  // 1: switched on and transmitting
  std::uint32_t made = 0;   // order of making, from 1: places it among equal delays
};

// An entry of a chain's list of switched-on synapses. The copy of the
// synapse's `lastSwitch` lets the search for a synapse to switch off
// compare switch times without reading every synapse; switchSynapse keeps
// it.
struct ActiveSynapse {
  Synapse* synapse;
  double lastSwitch;
};

// A unit's incoming or outgoing synapses in chain order: ascending delay,
// equal delays newest first, delays that are not a number last, oldest
// first. The order follows from each synapse's delay and `made` alone.
struct SynapseList {
  std::vector<Synapse*> all;
  // The switched-on ones among them, in the same order: what every walk
  // of a spike reads. Kept by switchSynapse.
  std::vector<ActiveSynapse> active;
};

struct Unit {
  // Read by every event that reaches the unit, so kept together at the front.
  float input = 0;           // pending input, cleared by every update
  float potential = 0;       // never below 0 after an update
  float leak = 0;            // decay rate per time unit
  float threshold = 0;
  double lastUpdate = 0;
  double lastSpike = 0;
  Group* group = nullptr;
  float resetPotential = 0;  // potential right after a spike
  std::int32_t id = 0;       // position in the group, from 0
  std::uint8_t excitatory = 0;  // sign of what the outgoing synapses deliver
  std::uint8_t marked = 0;      // set when a synapse from here is a switch-off candidate
  std::int32_t markCount = 0;   // marks since the last propagation
  SynapseList* preSynapses = nullptr;   // incoming; null until the first one is added
  SynapseList* postSynapses = nullptr;  // outgoing; null until the first one is added
};

// A group's units, side by side in the order they were made.
struct UnitList {
  std::uint32_t count = 0;  // units made; also the id the next one gets
  Unit* byId = nullptr;     // room for kMaxUnitsPerGroup units; byId[i] has id i
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
  // Every synapse that leaves a unit of this group, in the order made; a
  // deque never moves its elements.
  std::deque<Synapse> synapses;
};

// The unit with this id, or null when the group has no such unit.
inline Unit* unitById(const Group* group, std::uint32_t id) {
  return id < group->units->count ? &group->units->byId[id] : nullptr;
}

// One pending delivery of input to a unit.
struct Event {
  double time = 0;             // absolute delivery time
  Unit* unit = nullptr;
  Synapse* synapse = nullptr;  // null for a stimulus from a driver
  float amount = 0;            // with its sign: inhibitory input is negative
};

// The event queue: the clock, the trace streams, and the pending events,
// which come out in order of time and, among equal times, in the order
// they were added.
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
  std::uint64_t added = 0;          // events added so far
  EventStore* pending = nullptr;    // made by the first addEvent
};

// Memory. Every record starts all zero; allocation failure is fatal.
void* allocMem(std::size_t size);
template <class T>
T* allocRecord() {
  return new (allocMem(sizeof(T))) T{};
}
template <class T>
void freeRecord(T* record) {
  record->~T();
  std::free(record);
}

// Fatal error: the fixed message on standard output (after everything
// written so far) and on standard error, then exit status 1.
[[noreturn, gnu::cold]] void fatal(const char* message);
// A program's last word before a fatal error is reported: `hook` is called
// once with the message, before it is printed, so that the program can
// write out what it still holds and note why its run ended.
void setFatalHook(void (*hook)(const char* message));

// The process-wide 15-bit generator behind every random draw (values 0 to
// 32767), so that runs repeat exactly on every platform.
void seedRandom(std::uint32_t seed);
int nextRandom();
std::uint8_t randProb(float p);
float randFloat(float lo, float hi);

// Network construction and teardown. A synapse's delay must not be
// negative. A delay of zero delivers in the same instant, in a time point
// of its own right after the spike's; a delay that is not a number never
// delivers.
Group* addGroup(const char* name);
Unit* addUnit(Group* group);
#if NET1_EDITION == 2
Synapse* addSynapse(Unit* pre, Unit* post, float delay, float weight);
#else
void addSynapse(Unit* pre, Unit* post, float delay, float weight);
#endif
// Switches a synapse on or off, at `time`; the one writer of its `active`
// and `lastSwitch`. Setting the state it already has just sets the time.
void switchSynapse(Synapse* s, bool on, double time);
int freePostSynapses(SynapseList* header);
int freeGroupUnitsAndPostSynapses(Group* group);

// Event queue.
void addEvent(EventQueue* q, double delay, float amount, Unit* unit, Synapse* synapse);
// The next event to be processed, or null; valid until the queue changes.
const Event* earliestEvent(EventQueue* q);
// Removes `event`, which must be the earliest, and returns the one after it.
const Event* deleteEvent(const Event* event, EventQueue* q);
int freeQueue(EventQueue* q);

// Running.
int execNextTimePoint(EventQueue* q, double horizon);
double runForward(EventQueue* q, double interval);
int updateAndFireUnit(const Event* event, EventQueue* q);
int updatePreSynapses(Unit* unit, EventQueue* q);
int tuneAndPropagate(Unit* unit, EventQueue* q);

// Final report.
int printUnits(Stream* stream, Group* group);
int printSynapses(Stream* stream, Group* group);

}  // namespace net1
