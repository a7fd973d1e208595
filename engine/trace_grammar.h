// The grammar of a trace: every kind of line the programs write, and its
// fields in order. The engine's writer, exp-summary's reader and the Python
// reader's columns all take the line formats from here, so that they cannot
// drift apart.
//
// A line is its keyword, then each field after one space, then a newline.
// Field types, one letter each in a kind's pattern:
//   f  a real number, "%f" (six decimals)
//   s  a group name, "%s" (1 to 70 characters, no space)
//   u  a unit id, "%d" (0 to kMaxUnitId)
//   b  a 0/1 flag, "%d"
//   i  a signed integer, "%d"
// This header has no dependencies, so that readers can use it without the
// engine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace net1::trace {

enum class Kind : std::uint8_t {
  spk, uthr, dthr, volt, ustdp, dstdp, swon, swoff, nmp, swofftime, unit, syn
};
inline constexpr std::size_t kKindCount = 12;

struct KindSpec {
  std::string_view keyword;
  std::string_view pattern;  // one type letter per field
  // Column names, one per field, fit for a table's header.
  std::array<std::string_view, 12> fields;
  // The fewest fields a line of this kind has: all of them but for
  // "swofftime", which one program writes without its time.
  std::size_t minFields;
  bool timed;  // the first field is the time of the line
};

inline constexpr std::array<KindSpec, kKindCount> kKinds = {{
    {"spk", "fsubi", {"time", "group", "id", "exc", "pending"}, 5, true},
    {"uthr", "fsubff", {"time", "group", "id", "exc", "rate", "threshold"}, 6, true},
    {"dthr", "fsubff", {"time", "group", "id", "exc", "rate", "threshold"}, 6, true},
    {"volt", "sfff", {"group", "window_end", "input_sum", "change_sum"}, 4, false},
    {"ustdp", "fsubsuff",
     {"time", "pre_group", "pre_id", "pre_exc", "post_group", "post_id", "change", "weight"}, 8, true},
    {"dstdp", "fsubsuff",
     {"time", "pre_group", "pre_id", "pre_exc", "post_group", "post_id", "change", "weight"}, 8, true},
    {"swon", "fsubsu", {"time", "pre_group", "pre_id", "pre_exc", "post_group", "post_id"}, 6, true},
    {"swoff", "fsubsu", {"time", "pre_group", "pre_id", "pre_exc", "post_group", "post_id"}, 6, true},
    {"nmp", "fsubi", {"time", "group", "id", "exc", "marks"}, 5, true},
    {"swofftime", "f", {"time"}, 0, true},
    {"unit", "subfffiifiif",
     {"group", "id", "exc", "threshold", "leak", "reset", "in_total", "in_active", "in_weight",
      "out_total", "out_active", "out_weight"},
     12, false},
    {"syn", "susubbbfff",
     {"pre_group", "pre_id", "post_group", "post_id", "active", "pre_exc", "post_exc", "weight", "delay",
      "last_switch"},
     10, false},
}};

constexpr const KindSpec& kindSpec(Kind kind) { return kKinds[static_cast<std::size_t>(kind)]; }

// The kind with this keyword; false when there is none.
constexpr bool findKind(std::string_view keyword, Kind& out) {
  for (std::size_t i = 0; i < kKindCount; ++i) {
    if (kKinds[i].keyword == keyword) {
      out = static_cast<Kind>(i);
      return true;
    }
  }
  return false;
}

// Group names in a trace are 1 to this many characters long.
inline constexpr std::size_t kMaxNameLength = 70;

// Unit ids in a trace are 0 to this: a group holds up to a million units.
inline constexpr std::uint32_t kMaxUnitId = 999'999;

// One field of a line, as a program that collects lines gets it: `real`
// for 'f', `name` for 's', `integer` for the rest.
struct Value {
  double real = 0;
  long long integer = 0;
  std::string_view name;
};
// Takes a collected line: its kind and its fields, in the kind's order.
using Collect = void (*)(void* to, Kind kind, const Value* values, std::size_t count);

// A set of kinds, one bit each.
using KindSet = std::uint32_t;
constexpr KindSet bit(Kind kind) { return KindSet{1} << static_cast<unsigned>(kind); }
inline constexpr KindSet kAllKinds = (KindSet{1} << kKindCount) - 1;

}  // namespace net1::trace
