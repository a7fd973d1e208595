#include <algorithm>
#include <cstring>

#include "net1.h"

namespace net1 {
namespace {

// Puts `s` into a chain in front of the first synapse whose delay is at
// least its own: equal delays put the newest first, and a delay that
// compares with nothing (NaN) goes to the end.
void insertByDelay(SynapseList*& chain, Synapse* s) {
  if (!chain) chain = allocRecord<SynapseList>();
  auto at = std::find_if(chain->all.begin(), chain->all.end(), [s](const Synapse* o) { return o->delay >= s->delay; });
  chain->all.insert(at, s);
}

// Where `s` is, or would be, in the chain's list of active synapses: the
// number of active synapses before it. -1 when `s` is not in the chain.
std::ptrdiff_t activePlace(const SynapseList* chain, const Synapse* s) {
  std::ptrdiff_t place = 0;
  for (const Synapse* other : chain->all) {
    if (other == s) return place;
    place += place < std::ssize(chain->active) && chain->active[place].synapse == other;
  }
  return -1;
}

}  // namespace

Group* addGroup(const char* name) {
  if (name && std::strlen(name) > kMaxGroupName) {
    fatal("group name is longer than 70 characters");
  }
  Group* group = allocRecord<Group>();
  group->units = allocRecord<UnitList>();
  // Room for every unit the group may get, so that units never move; pages
  // that no unit reaches are never touched.
  group->units->byId = static_cast<Unit*>(allocMem(kMaxUnitsPerGroup * sizeof(Unit)));
  if (name) std::strcpy(group->name, name);
  return group;
}

Unit* addUnit(Group* group) {
  if (!group) fatal("group is NULL");
  const std::uint32_t id = group->units->count;
  if (id > kMaxUnitsPerGroup - 1) fatal("added too many units to group");
  Unit* unit = new (&group->units->byId[id]) Unit{};
  unit->id = static_cast<std::int32_t>(id);
  unit->group = group;
  ++group->units->count;
  return unit;
}

#if NET1_EDITION == 2
Synapse* addSynapse(Unit* pre, Unit* post, float delay, float weight) {
#else
void addSynapse(Unit* pre, Unit* post, float delay, float weight) {
#endif
  if (!pre || !post) fatal("preUnit or postUnit == NULL");
  // A negative delay would deliver before the spike, and time never runs back.
  if (delay < 0) fatal("synapse delay is negative");
  if (pre == post) {
#if NET1_EDITION == 2
    return nullptr;
#else
    return;
#endif
  }
  Synapse* s = &pre->group->synapses.emplace_back();
  s->pre = pre;
  s->post = post;
  s->delay = delay;
  s->weight = weight;
  s->lastSwitch = static_cast<double>(randFloat(0.0f, 0.1f));
  insertByDelay(pre->postSynapses, s);
  insertByDelay(post->preSynapses, s);
#if NET1_EDITION == 2
  return s;
#endif
}

void switchSynapse(Synapse* s, bool on, double time) {
  const bool changes = (s->active != 0) != on;
  s->active = on;
  s->lastSwitch = time;
  // A copy of a synapse belongs to no chain: it keeps its state to itself.
  const std::ptrdiff_t sent = s->pre && s->pre->postSynapses ? activePlace(s->pre->postSynapses, s) : -1;
  if (sent < 0) return;
  const std::ptrdiff_t received = activePlace(s->post->preSynapses, s);
  for (auto [chain, place] : {std::pair{s->pre->postSynapses, sent}, std::pair{s->post->preSynapses, received}}) {
    std::vector<ActiveSynapse>& active = chain->active;
    if (!changes) {
      if (on) active[place].lastSwitch = time;
    } else if (on) {
      active.insert(active.begin() + place, ActiveSynapse{s, time});
    } else {
      active.erase(active.begin() + place);
    }
  }
}

int freePostSynapses(SynapseList* header) {
  if (!header) return 0;
  freeRecord(header);  // its synapses belong to the group of their pre unit
  return 1;
}

int freeGroupUnitsAndPostSynapses(Group* group) {
  if (!group) return 0;
  for (std::uint32_t id = 0; id < group->units->count; ++id) {
    const Unit& unit = group->units->byId[id];
    freePostSynapses(unit.postSynapses);
    if (unit.preSynapses) freeRecord(unit.preSynapses);  // synapses of other units
  }
  std::free(group->units->byId);
  freeRecord(group->units);
  freeRecord(group);
  return 1;
}

}  // namespace net1
