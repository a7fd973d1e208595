#include <algorithm>
#include <cstring>

#include "net1.h"

namespace net1 {
namespace {

// Whether `a` comes before `b` in chain order.
bool before(const Synapse* a, const Synapse* b) {
  const bool aLast = a->delay != a->delay, bLast = b->delay != b->delay;
  if (aLast || bLast) return !aLast || (bLast && a->made < b->made);
  return a->delay < b->delay || (a->delay == b->delay && a->made > b->made);
}

void insertInOrder(SynapseList*& chain, Synapse* s) {
  if (!chain) chain = allocRecord<SynapseList>();
  chain->all.insert(std::lower_bound(chain->all.begin(), chain->all.end(), s, before), s);
}

// A copy of a synapse has the same place in chain order as the synapse
// itself, but it is not in the chain.
bool inChain(const SynapseList* chain, const Synapse* s) {
  auto at = std::lower_bound(chain->all.begin(), chain->all.end(), s, before);
  return at != chain->all.end() && *at == s;
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
  static std::uint32_t made = 0;
  if (made == UINT32_MAX) fatal("made too many synapses");
  s->made = ++made;
  insertInOrder(pre->postSynapses, s);
  insertInOrder(post->preSynapses, s);
#if NET1_EDITION == 2
  return s;
#endif
}

void switchSynapse(Synapse* s, bool on, double time) {
  const bool changes = (s->active != 0) != on;
  s->active = on;
  s->lastSwitch = time;
  if ((!changes && !on) || !s->pre || !s->pre->postSynapses) return;
  // Switching on needs proof that `s` is in its chains; an active one is
  // found in their lists of active synapses.
  if (changes && on && !inChain(s->pre->postSynapses, s)) return;
  for (SynapseList* chain : {s->pre->postSynapses, s->post->preSynapses}) {
    std::vector<ActiveSynapse>& active = chain->active;
    auto at = std::lower_bound(active.begin(), active.end(), s,
                               [](const ActiveSynapse& entry, const Synapse* x) { return before(entry.synapse, x); });
    if (at == active.end() || at->synapse != s) {
      if (changes && on) active.insert(at, ActiveSynapse{s, time});
    } else if (on) {
      at->lastSwitch = time;
    } else {
      active.erase(at);
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
