#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "net1.h"

namespace net1::NET1_EDITION_NAMESPACE {
namespace {

// Whether `a` comes before `b` in chain order.
bool before(const Synapse* a, const Synapse* b) {
  const bool aLast = a->delay != a->delay, bLast = b->delay != b->delay;
  if (aLast || bLast) return !aLast || (bLast && a->made < b->made);
  return a->delay < b->delay || (a->delay == b->delay && a->made > b->made);
}

template <class Chain>
void insertInOrder(Chain*& chain, Synapse* s) {
  if (!chain) chain = allocRecord<Chain>();
  chain->all.insert(std::lower_bound(chain->all.begin(), chain->all.end(), s, before), s);
}

// A copy of a synapse has the same place in chain order as the synapse
// itself, but it is not in the chain.
bool inChain(const OutputChain* chain, const Synapse* s) {
  auto at = std::lower_bound(chain->all.begin(), chain->all.end(), s, before);
  return at != chain->all.end() && *at == s;
}

// Every block of units of every group, by its number: a unit's reference
// is its block's number times kUnitsPerBlock plus its place in the block.
// Numbers of freed blocks are given out again.
std::vector<Unit*> blocksByNumber;
std::vector<std::uint32_t> freeNumbers;
// References keep their top bit free for the events (event_store.cpp).
constexpr std::size_t kMostBlocks = (std::size_t{1} << 31) / kUnitsPerBlock;

std::uint32_t numberBlock(Unit* block) {
  std::uint32_t number;
  if (!freeNumbers.empty()) {
    number = freeNumbers.back();
    freeNumbers.pop_back();
    blocksByNumber[number] = block;
  } else {
    if (blocksByNumber.size() == kMostBlocks) fatal("made too many units");
    number = static_cast<std::uint32_t>(blocksByNumber.size());
    blocksByNumber.push_back(block);
    unitBlocks = blocksByNumber.data();
  }
  return number;
}

}  // namespace

Unit* const* unitBlocks = nullptr;

Group* addGroup(const char* name, std::uint32_t capacity) {
  if (name && std::strlen(name) > kMaxGroupName) {
    fatal("group name is longer than 70 characters");
  }
  if (capacity > kMaxGroupCapacity) fatal("group capacity is above 1000000 units");
  Group* group = allocRecord<Group>();
  group->units = allocRecord<UnitList>();
  group->units->capacity = capacity;
  if (name) std::strcpy(group->name, name);
  return group;
}

Unit* addUnit(Group* group) {
  if (!group) fatal("group is NULL");
  UnitList& units = *group->units;
  const std::uint32_t id = units.count;
  if (id >= units.capacity) fatal("added too many units to group");
  // A group's first block holds what it may hold, when that is less: small
  // groups take no more room than their units.
  const std::uint32_t place = id % kUnitsPerBlock;
  if (place == 0) {
    const std::size_t size = std::min(kUnitsPerBlock, units.capacity - id);
    units.blocks.push_back(static_cast<Unit*>(allocMem(size * sizeof(Unit))));
  }
  Unit* block = units.blocks.back();
  Unit* unit = new (block + place) Unit{};
  unit->id = static_cast<std::int32_t>(id);
  unit->group = group;
  // The reference's block number is the number of the block's first unit.
  unit->ref = place == 0 ? numberBlock(block) * kUnitsPerBlock : block->ref + place;
  ++units.count;
  return unit;
}

namespace {

// A new synapse, in neither chain yet; null when pre is post.
Synapse* makeSynapse(Unit* pre, Unit* post, float delay, float weight) {
  if (!pre || !post) fatal("preUnit or postUnit == NULL");
  // A negative delay would deliver before the spike, and time never runs back.
  if (delay < 0) fatal("synapse delay is negative");
  if (pre == post) return nullptr;
  Synapse* s = &pre->group->synapses.emplace_back();
  s->pre = pre;
  s->post = post;
  s->delay = delay;
  s->weight = weight;
  s->lastSwitch = static_cast<double>(randFloat(0.0f, 0.1f));
  static std::uint32_t made = 0;
  if (made == UINT32_MAX) fatal("made too many synapses");
  s->made = ++made;
  return s;
}

template <class Chain>
Chain& chain(Chain*& header) {
  if (!header) header = allocRecord<Chain>();
  return *header;
}

ActiveSynapse activeEntry(Synapse* s, const InputChain*) { return ActiveSynapse{s, s->lastSwitch}; }
ActiveOutput activeEntry(Synapse* s, const OutputChain*) { return ActiveOutput{s, s->delay, s->post->ref}; }

// A chain's synapses by their place in chain order, read once: sorting
// through the pointers would reach every synapse again at each comparison.
// The place is one integer, so that the sort compares integers: a delay,
// never negative, orders as its bits (-0 as 0), and the order of making
// breaks ties, newest first; delays that are not a number come last,
// oldest first. Half the sort's instructions of comparing as before().
struct ChainKey {
  std::uint64_t place;
  Synapse* synapse;
};
ChainKey chainKey(Synapse* s) {
  if (s->delay != s->delay) return ChainKey{~std::uint64_t{0} << 32 | s->made, s};
  const std::uint64_t bits = std::bit_cast<std::uint32_t>(s->delay == 0 ? 0.0f : s->delay);
  return ChainKey{bits << 32 | (UINT32_MAX - s->made), s};
}

template <class Chain>
void order(Chain* chain, std::vector<ChainKey>& keys) {
  if (!chain) return;
  keys.clear();
  for (Synapse* s : chain->all) keys.push_back(chainKey(s));
  std::sort(keys.begin(), keys.end(), [](const ChainKey& a, const ChainKey& b) { return a.place < b.place; });
  chain->all.clear();
  chain->all.shrink_to_fit();  // built by appending: no room to spare
  chain->all.reserve(keys.size());
  chain->active.clear();
  for (const ChainKey& k : keys) {
    chain->all.push_back(k.synapse);
    if (k.synapse->active) chain->active.push_back(activeEntry(k.synapse, chain));
  }
  chain->active.shrink_to_fit();
}

void notePreGroup(InputChain& in, Group* g) {
  if (std::find(in.preGroups.begin(), in.preGroups.end(), g) == in.preGroups.end()) in.preGroups.push_back(g);
}

}  // namespace

Synapse* addSynapse(Unit* pre, Unit* post, float delay, float weight) {
  Synapse* s = makeSynapse(pre, post, delay, weight);
  if (!s) return nullptr;
  insertInOrder(pre->postSynapses, s);
  insertInOrder(post->preSynapses, s);
  notePreGroup(*post->preSynapses, pre->group);
  return s;
}

Synapse* appendSynapse(Unit* pre, Unit* post, float delay, float weight, bool on) {
  Synapse* s = makeSynapse(pre, post, delay, weight);
  if (!s) return nullptr;
  s->active = on ? 1 : 0;
  chain(pre->postSynapses).all.push_back(s);
  InputChain& in = chain(post->preSynapses);
  in.all.push_back(s);
  // The last group noted is nearly always the one: builds go pre unit by pre unit.
  if (in.preGroups.empty() || in.preGroups.back() != pre->group) notePreGroup(in, pre->group);
  return s;
}

void orderChains(Group* group) {
  std::vector<ChainKey> keys;
  for (std::uint32_t id = 0; id < group->units->count; ++id) {
    Unit& unit = *unitById(group, id);
    order(unit.preSynapses, keys);
    order(unit.postSynapses, keys);
  }
}

namespace {

// Puts `s` into a chain's list of switched-on synapses, takes it out, or
// renews its time there.
template <class Chain>
void switchIn(Chain* chain, Synapse* s, bool on, bool changes) {
  auto& active = chain->active;
  auto at = std::lower_bound(active.begin(), active.end(), s,
                             [](const auto& entry, const Synapse* x) { return before(entry.synapse, x); });
  if (at == active.end() || at->synapse != s) {
    if (changes && on) active.insert(at, activeEntry(s, chain));
  } else if (!on) {
    active.erase(at);
  } else if constexpr (std::is_same_v<Chain, InputChain>) {
    at->lastSwitch = s->lastSwitch;
  }
}

}  // namespace

void switchSynapse(Synapse* s, bool on, double time) {
  const bool changes = (s->active != 0) != on;
  s->active = on;
  s->lastSwitch = time;
  if ((!changes && !on) || !s->pre || !s->pre->postSynapses) return;
  // Switching on needs proof that `s` is in its chains; an active one is
  // found in their lists of active synapses.
  if (changes && on && !inChain(s->pre->postSynapses, s)) return;
  switchIn(s->pre->postSynapses, s, on, changes);
  switchIn(s->post->preSynapses, s, on, changes);
}

int freePostSynapses(OutputChain* header) {
  if (!header) return 0;
  freeRecord(header);  // its synapses belong to the group of their pre unit
  return 1;
}

int freeGroupUnitsAndPostSynapses(Group* group) {
  if (!group) return 0;
  for (std::uint32_t id = 0; id < group->units->count; ++id) {
    const Unit& unit = *unitById(group, id);
    freePostSynapses(unit.postSynapses);
    if (unit.preSynapses) freeRecord(unit.preSynapses);  // synapses of other units
  }
  for (Unit* block : group->units->blocks) {
    freeNumbers.push_back(block->ref / kUnitsPerBlock);
    std::free(block);
  }
  freeRecord(group->units);
  freeRecord(group);
  return 1;
}

}  // namespace net1::NET1_EDITION_NAMESPACE
