// The trace lines, one function each: the only place their formats live.
// Every field is written exactly as "%f", "%d" or "%s" would write it, in
// place in the stream's buffer (room is made for the longest line first).
#pragma once

#include "net1.h"

namespace net1::trace {
namespace detail {

constexpr std::size_t kWord = 8;  // a keyword and its space
constexpr std::size_t kName = kMaxGroupName + 1;
constexpr std::size_t kInteger = Stream::kLongestInteger + 1;
constexpr std::size_t kFixed = Stream::kLongestFixed + 1;
constexpr std::size_t kUnit = kName + 2 * kInteger;  // "%s %d %d"

inline char* unitFields(char* at, const Unit* u) {
  at = Stream::textInto(at, u->group->name);
  *at++ = ' ';
  at = Stream::integerInto(at, u->id);
  *at++ = ' ';
  return Stream::integerInto(at, u->excitatory);
}

// "KEYWORD %f %s %d %d": what every line about a unit at an instant starts with.
inline char* start(Stream& s, char* at, const char* keyword, double now, const Unit* u) {
  at = Stream::textInto(at, keyword);
  *at++ = ' ';
  at = s.fixedInto(at, now);
  *at++ = ' ';
  return unitFields(at, u);
}

}  // namespace detail

// "spk %f %s %d %d %d\n"
inline void spk(Stream& s, double now, const Unit* u, std::uint32_t count) {
  using namespace detail;
  char* at = detail::start(s, s.room(kWord + kFixed + kUnit + kInteger), "spk", now, u);
  *at++ = ' ';
  at = Stream::integerInto(at, static_cast<std::int32_t>(count));
  *at++ = '\n';
  s.done(at);
}

// "uthr %f %s %d %d %f %f\n" and "dthr ..."
inline void threshold(Stream& s, const char* keyword, double now, const Unit* u, float rate) {
  using namespace detail;
  char* at = detail::start(s, s.room(kWord + 3 * kFixed + kUnit), keyword, now, u);
  *at++ = ' ';
  at = s.fixedInto(at, rate);
  *at++ = ' ';
  at = s.fixedInto(at, u->threshold);
  *at++ = '\n';
  s.done(at);
}

// "volt %s %f %f %f\n"
inline void volt(Stream& s, const Group* g) {
  using namespace detail;
  char* at = Stream::textInto(s.room(kWord + kName + 3 * kFixed), "volt ");
  at = Stream::textInto(at, g->name);
  *at++ = ' ';
  at = s.fixedInto(at, g->nextVoltTime);
  *at++ = ' ';
  at = s.fixedInto(at, g->voltInputSum);
  *at++ = ' ';
  at = s.fixedInto(at, g->voltChangeSum);
  *at++ = '\n';
  s.done(at);
}

// "ustdp %f %s %d %d %s %d %f %f\n" and "dstdp ..."
inline void stdp(Stream& s, const char* keyword, double now, const Unit* pre, const Unit* post,
                 float change, float weight) {
  using namespace detail;
  char* at = detail::start(s, s.room(kWord + 3 * kFixed + kUnit + kName + kInteger), keyword, now, pre);
  *at++ = ' ';
  at = Stream::textInto(at, post->group->name);
  *at++ = ' ';
  at = Stream::integerInto(at, post->id);
  *at++ = ' ';
  at = s.fixedInto(at, change);
  *at++ = ' ';
  at = s.fixedInto(at, weight);
  *at++ = '\n';
  s.done(at);
}

// "swon %f %s %d %d %s %d\n" and "swoff ..."
inline void switched(Stream& s, const char* keyword, double now, const Unit* pre, const Unit* post) {
  using namespace detail;
  char* at = detail::start(s, s.room(kWord + kFixed + kUnit + kName + kInteger), keyword, now, pre);
  *at++ = ' ';
  at = Stream::textInto(at, post->group->name);
  *at++ = ' ';
  at = Stream::integerInto(at, post->id);
  *at++ = '\n';
  s.done(at);
}

// "nmp %f %s %d %d %d\n"
inline void nmp(Stream& s, double now, const Unit* u) {
  using namespace detail;
  char* at = detail::start(s, s.room(kWord + kFixed + kUnit + kInteger), "nmp", now, u);
  *at++ = ' ';
  at = Stream::integerInto(at, u->markCount);
  *at++ = '\n';
  s.done(at);
}

}  // namespace net1::trace
