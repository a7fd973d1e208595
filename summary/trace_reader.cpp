#include "trace_reader.h"

#include "text_format.h"

namespace net1::summary {

std::string excerpt(std::string_view line) {
  constexpr std::size_t kMax = 80;
  std::string out;
  for (std::size_t i = 0; i < line.size() && i < kMax; ++i) {
    auto c = static_cast<unsigned char>(line[i]);
    if (c < 0x20 || c == 0x7f || c == '"' || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (line.size() > kMax) out += "...";
  return out;
}

TraceReader::TraceReader(TraceStats& stats, std::string inputName, bool lenient, std::FILE* err)
    : stats_(stats), name_(std::move(inputName)), lenient_(lenient), err_(err) {}

bool TraceReader::read(LineSource& source) {
  std::string_view text;
  std::uint64_t number = 0;
  while (source.next(text)) {
    ++number;
    if (source.unterminated()) {
      // A run that was stopped leaves half a line: its fields cannot be
      // trusted, so it is left out, and this is no error.
      stats_.setCutShort(number);
      break;
    }
    if (source.tooLong()) {
      if (!bad(number, "line longer than " + std::to_string(LineSource::kDefaultBlock) + " bytes", text, true))
        return false;
      continue;
    }
    if (!onLine(number, text)) return false;
  }
  if (!source.error().empty()) {
    std::fprintf(err_, "exp-summary: %s: %s\n", name_.c_str(), source.error().c_str());
    return false;
  }
  return commitHeld();
}

bool TraceReader::onLine(std::uint64_t number, std::string_view text) {
  // One line object for all lines: clearing a fresh one costs more than
  // parsing.
  TraceLine& line = scratch_;
  if (ParseResult r = parseLine(text, line); !r) return bad(number, describe(r), text, true);
  if (line.hasTime) return onTimedLine(number, text, line);
  // A line without a time says nothing about the order; the held line
  // goes first, as it came first.
  return commitHeld() && take(number, text, line);
}

bool TraceReader::onTimedLine(std::uint64_t number, std::string_view text, const TraceLine& line) {
  const Ticks t = line.time;
  if (stats_.inReport()) return bad(number, "a trace line after the final report began", text, false);
  if (held_.present) {
    if (t >= held_.line.time) {
      if (!commitHeld()) return false;
    } else if (haveClock_ && t < clock_) {
      // Earlier than the lines before the held one too: this line is out of place.
      return bad(number,
                 "time " + formatTicks(t) + " is earlier than " + formatTicks(clock_) + " at line " +
                     std::to_string(clockLine_) + ": the time of a trace never goes back",
                 text, false);
    } else {
      // Between the lines around it: the held line is the one out of place.
      Held h = std::move(held_);
      held_.present = false;
      if (!bad(h.number,
               "time " + formatTicks(h.line.time) + " is later than " + formatTicks(t) + " at line " +
                   std::to_string(number) + ", after it: the time of a trace never goes back",
               h.text, false))
        return false;
    }
  }
  if (haveClock_ && t < clock_)
    return bad(number,
               "time " + formatTicks(t) + " is earlier than " + formatTicks(clock_) + " at line " +
                   std::to_string(clockLine_) + ": the time of a trace never goes back",
               text, false);
  if (haveClock_ && t == clock_) return take(number, text, line);
  if (haveClock_) {
    const Ticks spanBefore = clock_ - stats_.firstTime();
    const Ticks span = t - stats_.firstTime();
    if (span > kFarSpan && span / kFarFactor > spanBefore)
      return bad(number,
                 "time " + formatTicks(t) + " is far outside the rest of the trace (" +
                     formatTicks(stats_.firstTime()) + " to " + formatTicks(clock_) + ")",
                 text, false);
  }
  hold(number, text, line);
  return true;
}

void TraceReader::hold(std::uint64_t number, std::string_view text, const TraceLine& line) {
  held_.present = true;
  held_.number = number;
  held_.text.assign(text);
  held_.line = line;
  // The names point into the line's text, which is about to be overwritten:
  // point them into the copy.
  for (auto& name : held_.line.name)
    if (!name.empty()) name = std::string_view(held_.text.data() + (name.data() - text.data()), name.size());
}

bool TraceReader::commitHeld() {
  if (!held_.present) return true;
  held_.present = false;
  return take(held_.number, held_.text, held_.line);
}

bool TraceReader::take(std::uint64_t number, std::string_view text, const TraceLine& line) {
  if (const char* why = stats_.add(line, number)) return bad(number, why, text, false);
  if (line.hasTime) {
    haveClock_ = true;
    clock_ = line.time;
    clockLine_ = number;
  }
  return true;
}

bool TraceReader::bad(std::uint64_t number, std::string_view why, std::string_view text, bool parseError) {
  const char* what = parseError ? "not a trace line" : "out of place";
  if (!lenient_) {
    std::fprintf(err_, "exp-summary: %s:%llu: %s: %.*s: \"%s\"\n", name_.c_str(),
                 static_cast<unsigned long long>(number), what, static_cast<int>(why.size()), why.data(),
                 excerpt(text).c_str());
    return false;
  }
  if (stats_.badLines() < kShownBadLines) {
    std::fprintf(err_, "exp-summary: %s:%llu: skipped, %s: %.*s: \"%s\"\n", name_.c_str(),
                 static_cast<unsigned long long>(number), what, static_cast<int>(why.size()), why.data(),
                 excerpt(text).c_str());
  } else if (stats_.badLines() == kShownBadLines) {
    std::fprintf(err_, "exp-summary: %s: further bad lines are only counted\n", name_.c_str());
  }
  stats_.addBadLine(number);
  return true;
}

}  // namespace net1::summary
