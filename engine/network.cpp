#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "chains.h"
#include "net1.h"
#include "record_pool.h"

namespace net1 {
namespace {

void dropWalkArrays(SynapseList* chain) {
  std::free(chain->inOrder);
  std::free(chain->activeInOrder);
  std::free(chain->activeSwitchTimes);
  std::free(chain->switchedOffSince);
  chain->inOrder = chain->activeInOrder = nullptr;
  chain->activeSwitchTimes = chain->switchedOffSince = nullptr;
  chain->activeKnown = 0;
}

// Links `s` into a chain sorted by delay, in front of the first synapse
// whose delay is at least its own: equal delays put the newest first, and a
// delay that compares with nothing (NaN) goes to the end.
template <Synapse* Synapse::*Link>
void insertByDelay(SynapseList* chain, Synapse* s) {
  Synapse* before = nullptr;
  Synapse* at = chain->head;
  while (at && !(at->delay >= s->delay)) {
    before = at;
    at = at->*Link;
  }
  s->*Link = at;
  if (before) {
    before->*Link = s;
  } else {
    chain->head = s;
  }
  if (!at) chain->tail = s;
  ++chain->count;
  dropWalkArrays(chain);
}

void freeChainHeader(SynapseList* header) {
  if (!header) return;
  dropWalkArrays(header);
  RecordPool<SynapseList>::give(header);
}

}  // namespace

Group* addGroup(const char* name) {
  if (name && std::strlen(name) > kMaxGroupName) {
    fatal("group name is longer than 70 characters");
  }
  Group* group = allocRecord<Group>();
  group->units = allocRecord<UnitList>();
  if (name) std::strcpy(group->name, name);
  return group;
}

Unit* addUnit(Group* group) {
  if (!group) fatal("group is NULL");
  std::uint32_t id = group->units->count;
  if (id > kMaxUnitsPerGroup - 1) fatal("added too many units to group");
  if (group->unitById[id]) fatal("unit array is not zero");
  Unit* unit = RecordPool<Unit>::take();
  unit->id = static_cast<std::int32_t>(id);
  unit->group = group;
  group->unitById[id] = unit;
  unit->next = group->units->head;
  group->units->head = unit;
  if (!group->units->tail) group->units->tail = unit;
  ++group->units->count;
  return unit;
}

#if NET1_EDITION == 2
Synapse* addSynapse(Unit* pre, Unit* post, float delay, float weight) {
#else
void addSynapse(Unit* pre, Unit* post, float delay, float weight) {
#endif
  if (!pre || !post) fatal("preUnit or postUnit == NULL");
  if (pre == post) {
#if NET1_EDITION == 2
    return nullptr;
#else
    return;
#endif
  }
  if (!pre->postSynapses) pre->postSynapses = RecordPool<SynapseList>::take();
  if (!post->preSynapses) post->preSynapses = RecordPool<SynapseList>::take();
  Synapse* s = RecordPool<Synapse>::take();
  s->pre = pre;
  s->post = post;
  s->delay = delay;
  s->weight = weight;
  s->lastSwitch = static_cast<double>(randFloat(0.0f, 0.1f));
  insertByDelay<&Synapse::nextIn>(post->preSynapses, s);
  insertByDelay<&Synapse::nextOut>(pre->postSynapses, s);
#if NET1_EDITION == 2
  return s;
#endif
}

int freePostSynapses(SynapseList* header) {
  if (!header) return 0;
  for (Synapse* s = header->head; s;) {
    Synapse* next = s->nextOut;
    RecordPool<Synapse>::give(s);
    s = next;
  }
  freeChainHeader(header);
  return 1;
}

namespace {

double offSince(const Synapse* s) {
  return s->active ? std::numeric_limits<double>::infinity() : static_cast<double>(s->lastSwitch);
}

}  // namespace

Synapse* const* chainInOrder(SynapseList* chain, bool incoming) {
  if (!chain->inOrder && chain->count > 0) {
    chain->inOrder = static_cast<Synapse**>(allocMem(chain->count * sizeof(Synapse*)));
    std::uint32_t i = 0;
    for (Synapse* s = chain->head; s; s = incoming ? s->nextIn : s->nextOut) chain->inOrder[i++] = s;
    if (!incoming) {
      chain->switchedOffSince = static_cast<double*>(allocMem(chain->count * sizeof(double)));
      for (i = 0; i < chain->count; ++i) chain->switchedOffSince[i] = offSince(chain->inOrder[i]);
    }
  }
  return chain->inOrder;
}

Synapse* const* activeInOrder(SynapseList* chain, bool incoming) {
  if (!chain->activeKnown) {
    Synapse* const* all = chainInOrder(chain, incoming);
    if (!chain->activeInOrder && chain->count > 0) {
      chain->activeInOrder = static_cast<Synapse**>(allocMem(chain->count * sizeof(Synapse*)));
      if (incoming) chain->activeSwitchTimes = static_cast<double*>(allocMem(chain->count * sizeof(double)));
    }
    std::uint32_t n = 0;
    for (std::uint32_t i = 0; i < chain->count; ++i) {
      if (!all[i]->active) continue;
      if (chain->activeSwitchTimes) chain->activeSwitchTimes[n] = all[i]->lastSwitch;
      chain->activeInOrder[n++] = all[i];
    }
    chain->activeCount = n;
    chain->activeKnown = 1;
  }
  return chain->activeInOrder;
}

namespace {

// Keeps a chain's list of active synapses in step with one switch, when the
// list is known: removing or inserting `s` at its place in chain order,
// found by comparing pointers only, without loading any synapse.
void updateActiveList(SynapseList* chain, Synapse* s, bool on) {
  if (!chain || !chain->activeKnown) return;
  Synapse** active = chain->activeInOrder;
  double* times = chain->activeSwitchTimes;
  std::uint32_t& n = chain->activeCount;
  if (!on) {
    std::uint32_t at = 0;
    while (at < n && active[at] != s) ++at;
    if (at == n) return;
    std::memmove(active + at, active + at + 1, (n - at - 1) * sizeof(Synapse*));
    if (times) std::memmove(times + at, times + at + 1, (n - at - 1) * sizeof(double));
    --n;
    return;
  }
  std::uint32_t at = 0;  // active synapses that come before s in the chain
  std::uint32_t i = 0;
  for (; i < chain->count && chain->inOrder[i] != s; ++i) {
    if (at < n && chain->inOrder[i] == active[at]) ++at;
  }
  if (i == chain->count) return;  // a copy of a synapse, in no chain
  std::memmove(active + at + 1, active + at, (n - at) * sizeof(Synapse*));
  active[at] = s;
  if (times) {
    std::memmove(times + at + 1, times + at, (n - at) * sizeof(double));
    times[at] = s->lastSwitch;
  }
  ++n;
}

// Keeps the copy of an active synapse's switch time in step with the synapse.
void updateSwitchTime(SynapseList* in, const Synapse* s) {
  if (!in || !in->activeSwitchTimes || !in->activeKnown) return;
  for (std::uint32_t i = 0; i < in->activeCount; ++i) {
    if (in->activeInOrder[i] != s) continue;
    in->activeSwitchTimes[i] = s->lastSwitch;
    return;
  }
}

// Keeps the switched-off time of `s` in its outgoing chain in step with it.
void updateOffSince(SynapseList* out, const Synapse* s) {
  if (!out || !out->switchedOffSince) return;
  for (std::uint32_t i = 0; i < out->count; ++i) {
    if (out->inOrder[i] != s) continue;
    out->switchedOffSince[i] = offSince(s);
    return;
  }
}

}  // namespace

SwitchFlag& SwitchFlag::operator=(std::uint8_t on) {
  const bool was = value != 0;
  value = on;
  if (was == (on != 0)) return *this;
  // The flag lives inside its synapse, at a fixed place.
  Synapse* s = reinterpret_cast<Synapse*>(reinterpret_cast<char*>(this) - offsetof(Synapse, active));
  if (s->pre) {
    updateActiveList(s->pre->postSynapses, s, on != 0);
    updateOffSince(s->pre->postSynapses, s);
  }
  if (s->post) updateActiveList(s->post->preSynapses, s, on != 0);
  return *this;
}

SwitchTime& SwitchTime::operator=(double time) {
  value = time;
  // The time lives inside its synapse, at a fixed place.
  Synapse* s = reinterpret_cast<Synapse*>(reinterpret_cast<char*>(this) - offsetof(Synapse, lastSwitch));
  if (!s->active) {
    if (s->pre) updateOffSince(s->pre->postSynapses, s);
    return *this;
  }
  if (s->post) updateSwitchTime(s->post->preSynapses, s);
  return *this;
}

int freeGroupUnitsAndPostSynapses(Group* group) {
  if (!group) return 0;
  for (Unit* unit = group->units->head; unit;) {
    Unit* next = unit->next;
    freePostSynapses(unit->postSynapses);
    freeChainHeader(unit->preSynapses);  // the header only: its synapses belong to other units
    RecordPool<Unit>::give(unit);
    unit = next;
  }
  std::free(group->units);
  std::free(group);
  return 1;
}

}  // namespace net1
