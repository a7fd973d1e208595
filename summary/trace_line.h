#pragma once
// One line of a trace, taken apart field by field.
//
// The kinds of line, their fields and the fields' names come from the trace
// grammar that the engine's writer uses too. The parser is hand-written
// because a long run prints tens of millions of lines: it checks every field
// strictly (so a damaged trace is caught at the line where it goes wrong) but
// copies nothing and allocates nothing.

#include <cstdint>
#include <string>
#include <string_view>

#include "trace_grammar.h"

namespace net1::summary {

using Kind = trace::Kind;
inline constexpr int kKindCount = static_cast<int>(trace::kKindCount);

// Simulated time in millionths of a time unit. The simulator prints times with
// six decimals, so every printed time is held exactly and time bins have exact
// edges, free of binary rounding.
using Ticks = std::int64_t;
inline constexpr Ticks kTicksPerUnit = 1'000'000;
// Times are from 0 to just below 10^12 time units. The clock of a run starts
// at 0, and the bound keeps every span, bin edge and sum of two times far
// inside 64 bits.
inline constexpr Ticks kTimeLimit = 1'000'000'000'000 * kTicksPerUnit;

// Ids are 0 to the grammar's largest, written with at most as many digits.
inline constexpr std::uint32_t kMaxUnitId = trace::kMaxUnitId;

// A decimal number as printed: mantissa and number of decimals (-1.5 is
// mantissa -15, one decimal). At most 18 digits, so the mantissa fits.
struct Decimal {
  std::int64_t mantissa = 0;
  int decimals = 0;

  double value() const;
  // Fails when the number does not fit in Ticks.
  bool toTicks(Ticks& out) const;
  // A time: also fails outside 0 to kTimeLimit.
  bool toTime(Ticks& out) const;
};

std::string_view kindName(Kind kind);

// A time written as in a trace ("12.5", "0.000001"), exactly, in the range
// of times; false when text is anything else.
bool parseTime(std::string_view text, Ticks& out);

// Fields land in typed slots, in the order in which they appear on the line:
//   spk, nmp        real[0]=time  name[0]=group  id[0]  flag[0]=exc  count[0]
//   uthr, dthr      real[0]=time  name[0]=group  id[0]  flag[0]=exc  real[1]=rate  real[2]=threshold
//   volt            name[0]=group  real[0]=window end  real[1]=input sum  real[2]=change sum
//   ustdp, dstdp    real[0]=time  name[0]=pre  id[0]  flag[0]=pre exc  name[1]=post  id[1]
//                   real[1]=change  real[2]=weight
//   swon, swoff     real[0]=time  name[0]=pre  id[0]  flag[0]=pre exc  name[1]=post  id[1]
//   swofftime       real[0]=time, when the line carries one (realCount 1)
//   unit            name[0]=group  id[0]  flag[0]=exc  real[0..2]=threshold, leak, reset
//                   count[0..1]=incoming total, active  real[3]=incoming weight sum
//                   count[2..3]=outgoing total, active  real[4]=outgoing weight sum
//   syn             name[0]=pre  id[0]  name[1]=post  id[1]  flag[0]=active  flag[1]=pre exc
//                   flag[2]=post exc  real[0]=weight  real[1]=delay  real[2]=last switch
struct TraceLine {
  Kind kind = Kind::spk;
  int realCount = 0;
  bool hasTime = false;  // a timed kind whose time is there
  Ticks time = 0;        // real[0] in ticks, when hasTime
  Decimal real[5];
  std::string_view name[2];
  std::uint32_t id[2] = {0, 0};
  bool flag[3] = {false, false, false};
  std::int64_t count[4] = {0, 0, 0, 0};  // "%d" of an int: 32 bits
};

enum class ParseError : std::uint8_t {
  none,
  emptyLine,
  unknownKind,
  tooFewFields,
  tooManyFields,
  emptyField,  // two spaces in a row, or a space at the start or end
  badReal,
  badId,
  badInteger,
  badFlag,
  badName,
  nameTooLong,
  realTooLong,    // more than 18 digits
  timeOutOfRange,
  idOutOfRange,
  integerOutOfRange,
};

struct ParseResult {
  ParseError error = ParseError::none;
  Kind kind = Kind::spk;  // valid unless error is emptyLine or unknownKind
  int field = 0;          // 1-based, the kind word being field 1 (as in awk)

  explicit operator bool() const { return error == ParseError::none; }
};

ParseResult parseLine(std::string_view line, TraceLine& out);

// Why the line was refused, e.g. "spk: field 4 (id) is not an unsigned integer".
std::string describe(const ParseResult& result);

// "time" for field 2 of "spk": the grammar's name of a field (1-based, the
// kind word being field 1); empty past the last field.
std::string_view fieldName(Kind kind, int field);

}  // namespace net1::summary
