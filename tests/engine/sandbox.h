// Small hand-built networks for engine tests: groups, a queue with every
// trace stream collected in memory, and teardown of everything made.
#pragma once

#include <string>
#include <vector>

#include "net1.h"

namespace net1::testing {

inline Synapse* link(Unit* pre, Unit* post, float delay, float weight) { return addSynapse(pre, post, delay, weight); }

// Switches a synapse on as a driver does when it builds a network,
// keeping its drawn last switch time.
inline Synapse* on(Synapse* s) {
  switchSynapse(s, true, s->lastSwitch);
  return s;
}

struct Sandbox {
  std::string text;  // declared before the stream, which flushes into it
  Stream stream{&text};
  EventQueue* q = nullptr;
  std::vector<Group*> groups;

  Sandbox() {
    q = allocRecord<EventQueue>();
    q->spikeLog = q->plasticityLog = q->switchLog = q->voltLog = &stream;
    q->rateFactor = 1.0f;
  }
  ~Sandbox() {
    for (Group* g : groups) freeGroupUnitsAndPostSynapses(g);
    freeQueue(q);
  }
  Group* group(const char* name, int units) {
    Group* g = addGroup(name);
    groups.push_back(g);
    for (int i = 0; i < units; ++i) addUnit(g);
    return g;
  }
  Unit* unit(Group* g, std::uint32_t id) { return unitById(g, id); }
  // Everything written so far, and forget it.
  std::string take() {
    stream.flush();
    std::string out;
    out.swap(text);
    return out;
  }
};

}  // namespace net1::testing
