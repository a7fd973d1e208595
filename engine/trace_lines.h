// The writer of trace and report lines. The keyword, the number of fields
// and how each is printed come from the trace's grammar; a call that passes
// a value of the wrong sort for its field does not compile. Every field is
// written exactly as "%f", "%d" or "%s" would write it, in place in the
// stream's buffer, after one check for room for the longest such line.
#pragma once

#include <cstddef>
#include <cstring>
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

// A queued line keeps each field as the value it is printed from: a real
// as a double, an integer as a long long (the conversions field() makes),
// a name as its length and its characters.
constexpr std::size_t longestQueued(Kind kind) {
  std::size_t n = sizeof(Stream::QueuedLine);
  for (char type : kindSpec(kind).pattern) n += type == 's' ? 1 + kMaxNameLength : 8;
  return n;
}

template <char Type, class Value>
std::byte* queueField(std::byte* at, Value value) {
  if constexpr (Type == 'f') {
    const double v = static_cast<double>(value);
    std::memcpy(at, &v, sizeof v);
    return at + sizeof v;
  } else if constexpr (Type == 's') {
    const std::string_view v(value);
    *at = static_cast<std::byte>(v.size());  // names are at most kMaxNameLength long
    std::memcpy(at + 1, v.data(), v.size());
    return at + 1 + v.size();
  } else {
    const long long v = static_cast<long long>(value);
    std::memcpy(at, &v, sizeof v);
    return at + sizeof v;
  }
}

template <char Type>
char* fieldFromQueue(Stream& s, char* out, const std::byte*& at) {
  if constexpr (Type == 's') {
    const auto n = static_cast<std::size_t>(*at);
    const std::string_view v(reinterpret_cast<const char*>(at + 1), n);
    at += 1 + n;
    return field<Type>(s, out, v);
  } else {
    using Stored = std::conditional_t<Type == 'f', double, long long>;
    Stored v;
    std::memcpy(&v, at, sizeof v);
    at += sizeof v;
    return field<Type>(s, out, v);
  }
}

// Formats a queued line of kind K with N fields; returns the end of its values.
template <Kind K, std::size_t N>
const std::byte* formatQueued(Stream& s, const std::byte* values) {
  char* at = Stream::textInto(s.formatRoom(longestLine(K)), kindSpec(K).keyword);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((at = fieldFromQueue<kindSpec(K).pattern[I]>(s, at, values)), ...);
  }(std::make_index_sequence<N>{});
  *at++ = '\n';
  s.done(at);
  return values;
}

template <char Type, class V>
Value toValue(V value) {
  Value v;
  if constexpr (Type == 'f') {
    v.real = static_cast<double>(value);
  } else if constexpr (Type == 's') {
    v.name = std::string_view(value);
  } else {
    v.integer = static_cast<long long>(value);
  }
  return v;
}

// The line's values, by field, for a stream that collects them.
template <Kind K, class... Values>
[[gnu::noinline]] void collect(Stream& s, Values... values) {
  Value fields[sizeof...(Values) + 1];  // never empty
  std::size_t i = 0;
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((fields[i++] = toValue<kindSpec(K).pattern[I]>(values)), ...);
  }(std::index_sequence_for<Values...>{});
  s.collected(K, fields, sizeof...(Values));
}

}  // namespace detail

// Writes one line of kind K with the given fields, unless the stream
// neither records nor collects that kind: then nothing is formatted at all.
// A stream that formats on a thread of its own gets the values, to format
// later.
template <Kind K, class... Values>
inline void line(Stream& s, Values... values) {
  constexpr const KindSpec& kind = kindSpec(K);
  static_assert(sizeof...(Values) >= kind.minFields && sizeof...(Values) <= kind.pattern.size(),
                "the fields of a line are those of its kind");
  if (!s.wants(K)) return;
  if (s.collects(K)) detail::collect<K>(s, values...);
  if (!s.records(K)) return;
  if (s.queues()) {
    std::byte* at = s.queueRoom(detail::longestQueued(K));
    const Stream::QueuedLine format = &detail::formatQueued<K, sizeof...(Values)>;
    std::memcpy(at, &format, sizeof format);
    at += sizeof format;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      ((at = detail::queueField<kindSpec(K).pattern[I]>(at, values)), ...);
    }(std::index_sequence_for<Values...>{});
    s.queued(at);
    return;
  }
  char* at = Stream::textInto(s.room(detail::longestLine(K)), kind.keyword);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((at = detail::field<kindSpec(K).pattern[I]>(s, at, values)), ...);
  }(std::index_sequence_for<Values...>{});
  *at++ = '\n';
  s.done(at);
}

}  // namespace net1::trace
