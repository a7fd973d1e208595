// The trace lines, one function each: the only place their formats live.
// Every field is written exactly as "%f", "%d" or "%s" would write it.
#pragma once

#include "net1.h"

namespace net1::trace {

inline Stream& unitFields(Stream& s, const Unit* u) {
  return s.text(u->group->name).put(' ').integer(u->id).put(' ').integer(u->excitatory);
}

// "spk %f %s %d %d %d\n"
inline void spk(Stream& s, double now, const Unit* u, std::uint32_t count) {
  unitFields(s.text("spk ").fixed(now).put(' '), u).put(' ').integer(static_cast<std::int32_t>(count)).put('\n');
}

// "uthr %f %s %d %d %f %f\n" and "dthr ..."
inline void threshold(Stream& s, const char* keyword, double now, const Unit* u, float rate) {
  unitFields(s.text(keyword).put(' ').fixed(now).put(' '), u)
      .put(' ').fixed(rate).put(' ').fixed(u->threshold).put('\n');
}

// "volt %s %f %f %f\n"
inline void volt(Stream& s, const Group* g) {
  s.text("volt ").text(g->name).put(' ').fixed(g->nextVoltTime).put(' ')
      .fixed(g->voltInputSum).put(' ').fixed(g->voltChangeSum).put('\n');
}

// "ustdp %f %s %d %d %s %d %f %f\n" and "dstdp ..."
inline void stdp(Stream& s, const char* keyword, double now, const Unit* pre, const Unit* post,
                 float change, float weight) {
  unitFields(s.text(keyword).put(' ').fixed(now).put(' '), pre)
      .put(' ').text(post->group->name).put(' ').integer(post->id)
      .put(' ').fixed(change).put(' ').fixed(weight).put('\n');
}

// "swon %f %s %d %d %s %d\n" and "swoff ..."
inline void switched(Stream& s, const char* keyword, double now, const Unit* pre, const Unit* post) {
  unitFields(s.text(keyword).put(' ').fixed(now).put(' '), pre)
      .put(' ').text(post->group->name).put(' ').integer(post->id).put('\n');
}

// "nmp %f %s %d %d %d\n"
inline void nmp(Stream& s, double now, const Unit* u) {
  unitFields(s.text("nmp ").fixed(now).put(' '), u).put(' ').integer(u->markCount).put('\n');
}

}  // namespace net1::trace
