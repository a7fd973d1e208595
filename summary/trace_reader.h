#pragma once
// The pass over a trace: lines parsed, checked against the time of the
// lines around them, and handed to the statistics.
//
// The time of a trace never goes back, and it moves on in steps that are
// small against the time already covered. A line that breaks this is not
// part of the trace, whatever it says: taken, it would stretch every table
// over a span the run never had. When a line's time is later than the line
// after it, which of the two is wrong is plain only from the line after that
// one, so a line that moves time forward is held back until the next line
// with a time shows it in order.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "line_source.h"
#include "trace_line.h"
#include "trace_stats.h"

namespace net1::summary {

// A time is far outside the rest when it stretches the span of the trace
// so far to more than kFarFactor times what it was, and to more than
// kFarSpan. A real run moves on by one gap between events at a time.
inline constexpr Ticks kFarFactor = 1000;
inline constexpr Ticks kFarSpan = 10'000'000 * kTicksPerUnit;

class TraceReader {
 public:
  // Problems are reported on err, each naming input and line. Lenient:
  // bad lines are skipped and counted, the first kShownBadLines shown.
  static constexpr int kShownBadLines = 10;
  TraceReader(TraceStats& stats, std::string inputName, bool lenient, std::FILE* err);

  // Reads every line of source. True when the trace was read to its end
  // (lenient: with its bad lines skipped); false after a bad line (not
  // lenient) or a read error, which has been reported.
  bool read(LineSource& source);

 private:
  // A line that moved time forward, held until the next line with a time.
  struct Held {
    bool present = false;
    std::uint64_t number = 0;
    std::string text;
    TraceLine line;
  };

  // false when reading must stop.
  bool onLine(std::uint64_t number, std::string_view text);
  bool onTimedLine(std::uint64_t number, std::string_view text, const TraceLine& line);
  bool take(std::uint64_t number, std::string_view text, const TraceLine& line);
  bool commitHeld();
  void hold(std::uint64_t number, std::string_view text, const TraceLine& line);
  bool bad(std::uint64_t number, std::string_view why, std::string_view text, bool parseError);

  TraceStats& stats_;
  std::string name_;
  bool lenient_;
  std::FILE* err_;
  Held held_;
  TraceLine scratch_;
  // The time of the last line taken and its number.
  bool haveClock_ = false;
  Ticks clock_ = 0;
  std::uint64_t clockLine_ = 0;
};

// The start of a line, printable, for a message.
std::string excerpt(std::string_view line);

}  // namespace net1::summary
