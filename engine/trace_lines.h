// The writer of trace and report lines. The keyword, the number of fields
// and how each is printed come from the trace's grammar; a call that passes
// a value of the wrong sort for its field does not compile. Every field is
// written exactly as "%f", "%d" or "%s" would write it, in place in the
// stream's buffer, after one check for room for the longest such line.
#pragma once

#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>

#include "trace_grammar.h"
#include "trace_stream.h"

namespace net1::trace {
namespace detail {

constexpr std::size_t longestField(char type) {
  switch (type) {
    case 'f': return Stream::kLongestFixed;
    case 's': return kMaxNameLength;
    default: return Stream::kLongestInteger;
  }
}

constexpr std::size_t longestLine(Kind kind) {
  std::size_t n = kindSpec(kind).keyword.size() + 1;  // the newline
  for (char type : kindSpec(kind).pattern) n += 1 + longestField(type);
  return n;
}

template <char Type, class Value>
char* field(Stream& s, char* at, Value value) {
  *at++ = ' ';
  if constexpr (Type == 'f') {
    static_assert(std::is_floating_point_v<Value>, "a real field takes a float or a double");
    return s.fixedInto(at, static_cast<double>(value));  // widening a float is exact
  } else if constexpr (Type == 's') {
    static_assert(std::is_convertible_v<Value, std::string_view>, "a name field takes text");
    return Stream::textInto(at, value);
  } else {
    static_assert(std::is_integral_v<Value>, "an id, flag or integer field takes an integer");
    return Stream::integerInto(at, static_cast<long long>(value));
  }
}

}  // namespace detail

// Writes one line of kind K with the given fields, unless the stream does
// not record that kind: then nothing is formatted at all.
template <Kind K, class... Values>
inline void line(Stream& s, Values... values) {
  constexpr const KindSpec& kind = kindSpec(K);
  static_assert(sizeof...(Values) >= kind.minFields && sizeof...(Values) <= kind.pattern.size(),
                "the fields of a line are those of its kind");
  if (!s.records(K)) return;
  char* at = Stream::textInto(s.room(detail::longestLine(K)), kind.keyword);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((at = detail::field<kindSpec(K).pattern[I]>(s, at, values)), ...);
  }(std::index_sequence_for<Values...>{});
  *at++ = '\n';
  s.done(at);
}

}  // namespace net1::trace
