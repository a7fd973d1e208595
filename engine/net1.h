// The simulation engine: records of a network of leaky integrate-and-fire
// units joined by delayed synapses, the event queue that carries spikes
// between them, and the operations that build, run, report and free it.
//
// The engine comes in two editions, two builds of the same sources that
// can stand side by side in one program (edition.h): each build's records
// and operations live in a namespace of its own, net1::ed1 or net1::ed2,
// and a source that includes this header sees the edition it was built
// for (NET1_EDITION). Memory, fatal errors, the generator and the trace
// streams are shared by both.
//
// Records live inside their owners and are freed with them: a group holds
// its units, in blocks of kUnitsPerBlock side by side, and the synapses that
// leave them, a unit its two chains. Nothing moves once made, so pointers to
// records stay valid until their group is freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <new>
#include <vector>

#include "core.h"
#include "edition.h"
#include "group_parameters.h"
#include "trace_stream.h"

namespace net1 {

inline namespace NET1_EDITION_NAMESPACE {

struct Group;
struct Unit;
struct EventStore;

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

// An entry of an incoming chain's list of switched-on synapses. The copy
// of the synapse's `lastSwitch` lets the search for a synapse to switch off
// compare switch times without reading every synapse; switchSynapse keeps
// it.
struct ActiveSynapse {
  Synapse* synapse;
  double lastSwitch;
};

// An entry of an outgoing chain's list of switched-on synapses: with the
// synapse's delay and its post unit's reference (neither ever changes), a
// spike's events are made without reading the post units.
struct ActiveOutput {
  Synapse* synapse;
  float delay;
  std::uint32_t post;  // unitByRef(post) == synapse->post
};

// A unit's incoming or outgoing synapses in chain order: ascending delay,
// equal delays newest first, delays that are not a number last, oldest
// first. The order follows from each synapse's delay and `made` alone.
template <class Active>
struct Chain {
  std::vector<Synapse*> all;
  // The switched-on ones among them, in the same order: what every walk
  // of a spike reads. Kept by switchSynapse.
  std::vector<Active> active;
};
struct InputChain : Chain<ActiveSynapse> {
  // The groups of the pre units, each once, in the order first met: when
  // none of them switches, no incoming synapse can be switched off.
  std::vector<Group*> preGroups;
};
using OutputChain = Chain<ActiveOutput>;

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
  std::uint32_t ref = 0;        // the unit's 32-bit reference: unitByRef(ref) is this unit
  InputChain* preSynapses = nullptr;    // incoming; null until the first one is added
  OutputChain* postSynapses = nullptr;  // outgoing; null until the first one is added
};

// Units are made in blocks of this many, side by side; a group takes a new
// block when its last is full.
inline constexpr std::uint32_t kUnitsPerBlock = 1024;

// A group's units in the order they were made: unit i is
// blocks[i / kUnitsPerBlock][i % kUnitsPerBlock].
struct UnitList {
  std::uint32_t count = 0;     // units made; also the id the next one gets
  std::uint32_t capacity = 0;  // the most the group may hold, set by addGroup
  std::vector<Unit*> blocks;
};

// The parameters (group_parameters.h), then what the run keeps per group.
struct Group : GroupParameters {
  float voltInputSum = 0;   // input summed over the current voltage window
  float voltChangeSum = 0;  // potential change summed over the current window
  char name[kMaxGroupName + 1] = {};
  UnitList* units = nullptr;
  // Every synapse that leaves a unit of this group, in the order made; a
  // deque never moves its elements.
  std::deque<Synapse> synapses;
};

// The unit with this id, or null when the group has no such unit.
inline Unit* unitById(const Group* group, std::uint32_t id) {
  return id < group->units->count ? group->units->blocks[id / kUnitsPerBlock] + id % kUnitsPerBlock : nullptr;
}

// The unit of a reference (Unit::ref) of a unit not yet freed. Events and
// the lists of switched-on synapses name units by reference: half a pointer.
extern Unit* const* unitBlocks;  // by reference / kUnitsPerBlock; kept by addUnit
inline Unit* unitByRef(std::uint32_t ref) { return unitBlocks[ref / kUnitsPerBlock] + ref % kUnitsPerBlock; }

// One pending delivery of input to a unit.
struct Event {
  double time = 0;  // absolute delivery time
  Unit* unit = nullptr;
  float amount = 0;  // with its sign: inhibitory input is negative
  // 1 when a synapse from an excitatory unit delivers it, the only input
  // that adapts thresholds; 0 for a stimulus from a driver.
  std::uint8_t excitatorySynapse = 0;
};

// The event queue: the clock, the trace streams, and the pending events,
// which come out in order of time and, among equal times, in the order
// they were added.
struct EventQueue {
  std::uint32_t count = 0;  // pending events, printed in every "spk" line
  double now = 0;           // current simulated time
  float rateFactor = 0;     // edition 2: scales switch-on up and switch-off down
  Stream* spikeLog = nullptr;       // "spk"
  Stream* plasticityLog = nullptr;  // "uthr", "dthr", "ustdp", "dstdp"
  Stream* switchLog = nullptr;      // "swon", "swoff", "nmp"
  Stream* voltLog = nullptr;        // "volt"
  std::uint64_t added = 0;          // events added so far
  // The most events that may be pending: more is the fatal error "more
  // events pending than N", since activity that grows without end would
  // otherwise take all memory. At most, and by default, 2^31 - 1: the count
  // that "spk" lines print.
  std::uint32_t pendingLimit = 0;
  EventStore* pending = nullptr;    // made by the first addEvent
};

// Network construction and teardown.
//
// addGroup makes an empty group that may hold up to `capacity` units (at
// most kMaxGroupCapacity) and a copy of `name` (at most 70 characters, or
// null for none); it returns the group. Room for units is taken as they
// are added.
Group* addGroup(const char* name, std::uint32_t capacity = kMaxUnitsPerGroup);
// addUnit makes the group's next unit, id count, all zero but for its id,
// group and reference, and returns it; a group that is full is a fatal
// error.
Unit* addUnit(Group* group);
// addSynapse makes a synapse from pre to post, switched off, with a last
// switch time drawn from 0 to 0.1, and puts it in place in both units'
// chains; it returns it, or null (and draws nothing) when pre is post. A
// delay must not be negative. A delay of zero delivers in the same instant,
// in a time point of its own right after the spike's; a delay that is not
// a number never delivers.
Synapse* addSynapse(Unit* pre, Unit* post, float delay, float weight);
// appendSynapse is addSynapse for large builds, switched on when `on` (at
// its drawn last switch time): it puts the synapse at the end of both
// chains, to be sorted once by orderChains instead of inserted in order.
// Until orderChains has been called on the groups of both units, their
// chains may be given to nothing but appendSynapse.
Synapse* appendSynapse(Unit* pre, Unit* post, float delay, float weight, bool on);
// orderChains puts the incoming and outgoing chains of every unit of the
// group in chain order and makes their lists of switched-on synapses.
void orderChains(Group* group);
// Switches a synapse on or off, at `time`; the one writer of its `active`
// and `lastSwitch`. Setting the state it already has just sets the time.
void switchSynapse(Synapse* s, bool on, double time);
// Free a chain header (its synapses belong to their pre unit's group), and
// a group with its units and the synapses that leave them; 1 when done, 0
// for null. After one group is freed, the others may only be freed.
int freePostSynapses(OutputChain* header);
int freeGroupUnitsAndPostSynapses(Group* group);

// Event queue. A queue is allocRecord<EventQueue>(); streams that are
// null silence their lines.
//
// addEvent queues input of `amount` to `unit` at now + delay, carried by
// `synapse` or by none (a stimulus); only the kind of the synapse's pre
// unit is kept (Event::excitatorySynapse).
void addEvent(EventQueue* q, double delay, float amount, Unit* unit, Synapse* synapse);
// The same at the absolute `time`, which must not be before now.
void addEventAt(EventQueue* q, double time, float amount, Unit* unit, Synapse* synapse);
// The next event to be processed, or null; valid until the queue changes.
const Event* earliestEvent(EventQueue* q);
// Removes `event`, which must be the earliest, and returns the one after it.
const Event* deleteEvent(const Event* event, EventQueue* q);
// Frees the queue with the events still in it, undelivered; 1, or 0 for null.
int freeQueue(EventQueue* q);

// Running.
//
// execNextTimePoint executes every event at the earliest pending time, if
// that lies before `horizon`: 1 when it did, 0 when there was none.
int execNextTimePoint(EventQueue* q, double horizon);
// runUntil executes every event before `horizon` and sets the clock to it;
// runForward is runUntil(q, interval + now). Both return the new time.
double runUntil(EventQueue* q, double horizon);
double runForward(EventQueue* q, double interval);
// The steps of a time point, for tests: the update of the event's unit (1
// when it fired), the plasticity of a unit that fired, and its propagation.
int updateAndFireUnit(const Event* event, EventQueue* q);
int updatePreSynapses(Unit* unit, EventQueue* q);
int tuneAndPropagate(Unit* unit, EventQueue* q);

// Final report: a "unit" line per unit of the group, or a "syn" line per
// synapse leaving them, newest unit first; 1, or 0 for a null argument.
int printUnits(Stream* stream, Group* group);
int printSynapses(Stream* stream, Group* group);

}  // namespace NET1_EDITION_NAMESPACE
}  // namespace net1
