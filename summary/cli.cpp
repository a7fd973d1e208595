#include "cli.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "byte_source.h"
#include "csv_tables.h"
#include "line_source.h"
#include "summary_text.h"
#include "trace_line.h"
#include "trace_stats.h"

namespace net1::summary {
namespace {

constexpr const char* kUsage =
    "usage: exp-summary [options] [TRACE]\n"
    "Reads a trace (the file TRACE, or standard input when TRACE is absent or \"-\";\n"
    "plain, gzip or zstd, recognised by its first bytes) in one pass and prints a\n"
    "summary of the run.\n"
    "\n"
    "  --csv DIR          write bins.csv, weights.csv, raster.csv and meta.csv into DIR\n"
    "  --bin W            width of the time bins of bins.csv (default 100)\n"
    "  --raster FROM:TO   time window of raster.csv (default: 50 from the first time)\n"
    "  --headline FILE    write the headline figures to FILE as CSV, a header line and\n"
    "                     one row (\"-\": standard output)\n"
    "  --label KEY=VALUE  put a column KEY holding VALUE first in the headline (repeatable)\n"
    "  --lenient          skip and count lines that are not trace lines, instead of stopping\n"
    "  --quiet            print no summary\n"
    "  -h, --help         print this help\n"
    "\n"
    "Exit status: 0 done, 1 bad data (a line that is not a trace line, empty input,\n"
    "a read error, damaged compressed data),\n"
    "2 usage error (bad option, input or output not accessible).\n";

constexpr int kShownBadLines = 10;  // in lenient mode, the rest are only counted

struct Options {
  std::string input = "-";
  std::string csvDir;
  std::string headline;
  Labels labels;
  StatsOptions stats;
  bool lenient = false;
  bool quiet = false;
  bool help = false;
};

bool parseTime(std::string_view s, Ticks& out) {
  double v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return false;
  double ticks = std::round(v * kTicksPerUnit);
  if (std::fabs(ticks) > 9e18) return false;
  out = static_cast<Ticks>(ticks);
  return true;
}

// Returns an error message, empty on success.
std::string parseOptions(int argc, const char* const* argv, Options& o) {
  bool haveInput = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    std::string_view value;
    bool hasValue = false;
    if (a.size() > 2 && a.substr(0, 2) == "--") {
      auto eq = a.find('=');
      if (eq != std::string_view::npos) {
        value = a.substr(eq + 1);
        a = a.substr(0, eq);
        hasValue = true;
      }
    }
    auto needValue = [&](std::string_view& v) -> bool {
      if (hasValue) {
        v = value;
        return true;
      }
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    std::string name(a);
    std::string_view v;
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--lenient" || a == "--quiet") {
      if (hasValue) return name + " takes no value";
      (a == "--lenient" ? o.lenient : o.quiet) = true;
    } else if (a == "--csv" || a == "--headline" || a == "--bin" || a == "--raster" || a == "--label") {
      if (!needValue(v)) return name + " needs a value";
      if (v.empty()) return name + " needs a non-empty value";
      if (a == "--csv") {
        o.csvDir = v;
      } else if (a == "--headline") {
        o.headline = v;
      } else if (a == "--bin") {
        if (!parseTime(v, o.stats.binWidth) || o.stats.binWidth <= 0)
          return "--bin needs a positive width of at least 0.000001, not \"" + std::string(v) + "\"";
      } else if (a == "--raster") {
        auto colon = v.find(':');
        Ticks from = 0, to = 0;
        if (colon == std::string_view::npos || !parseTime(v.substr(0, colon), from) ||
            !parseTime(v.substr(colon + 1), to) || from >= to)
          return "--raster needs FROM:TO with FROM < TO, not \"" + std::string(v) + "\"";
        o.stats.rasterGiven = true;
        o.stats.rasterFrom = from;
        o.stats.rasterTo = to;
      } else {
        auto eq = v.find('=');
        if (eq == std::string_view::npos || eq == 0)
          return "--label needs KEY=VALUE, not \"" + std::string(v) + "\"";
        o.labels.emplace_back(std::string(v.substr(0, eq)), std::string(v.substr(eq + 1)));
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option " + std::string(argv[i]);
    } else {
      if (haveInput) return "more than one input named";
      o.input = argv[i];
      haveInput = true;
    }
  }
  return "";
}

// The start of a refused line, printable, for the message.
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

}  // namespace

int runCli(int argc, const char* const* argv, int stdinFd, std::FILE* out, std::FILE* err) {
  Options o;
  if (std::string e = parseOptions(argc, argv, o); !e.empty()) {
    std::fprintf(err, "exp-summary: %s\n%s", e.c_str(), kUsage);
    return kExitUsage;
  }
  if (o.help) {
    std::fputs(kUsage, out);
    return kExitOk;
  }

  const bool fromStdin = o.input == "-";
  const std::string name = fromStdin ? "standard input" : o.input;
  int fd = stdinFd;
  if (!fromStdin) {
    fd = ::open(o.input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(err, "exp-summary: cannot open %s: %s\n", name.c_str(), std::strerror(errno));
      return kExitUsage;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }

  TraceStats stats(o.stats);
  int status = kExitOk;
  {
    std::unique_ptr<ByteSource> bytes = openByteSource(fd);
    LineSource source(*bytes);
    TraceLine line;
    std::string_view text;
    std::uint64_t number = 0;
    while (source.next(text)) {
      ++number;
      if (source.unterminated()) {
        // A run that was stopped leaves half a line: its fields cannot be
        // trusted, so it is left out, and this is no error.
        stats.setCutShort(number);
        break;
      }
      std::string why;
      if (source.tooLong()) {
        why = "line longer than " + std::to_string(LineSource::kDefaultBlock) + " bytes";
      } else if (ParseResult r = parseLine(text, line); !r) {
        why = describe(r);
      } else if (const char* refused = stats.add(line)) {
        why = refused;
      } else {
        continue;
      }
      if (!o.lenient) {
        std::fprintf(err, "exp-summary: %s:%llu: not a trace line: %s: \"%s\"\n", name.c_str(),
                     static_cast<unsigned long long>(number), why.c_str(), excerpt(text).c_str());
        status = kExitBadData;
        break;
      }
      if (stats.badLines() < kShownBadLines) {
        std::fprintf(err, "exp-summary: %s:%llu: skipped, not a trace line: %s: \"%s\"\n", name.c_str(),
                     static_cast<unsigned long long>(number), why.c_str(), excerpt(text).c_str());
      } else if (stats.badLines() == kShownBadLines) {
        std::fprintf(err, "exp-summary: %s: further lines that are not trace lines are only counted\n",
                     name.c_str());
      }
      stats.addBadLine(number);
    }
    if (status == kExitOk && !source.error().empty()) {
      std::fprintf(err, "exp-summary: %s: %s\n", name.c_str(), source.error().c_str());
      status = kExitBadData;
    }
  }
  if (!fromStdin) ::close(fd);
  if (status != kExitOk) return status;

  if (stats.lines() == 0) {
    if (stats.badLines() != 0)
      std::fprintf(err, "exp-summary: %s: no trace lines, only %llu lines that are not\n", name.c_str(),
                   static_cast<unsigned long long>(stats.badLines()));
    else if (stats.cutShortLine() != 0)
      std::fprintf(err, "exp-summary: %s: no complete trace line, only one without a newline\n", name.c_str());
    else
      std::fprintf(err, "exp-summary: %s: empty input, no trace lines\n", name.c_str());
    return kExitBadData;
  }
  if (stats.cutShortLine() != 0)
    std::fprintf(err, "exp-summary: %s: trace cut short: line %llu has no newline and was left out\n",
                 name.c_str(), static_cast<unsigned long long>(stats.cutShortLine()));

  stats.finish();
  if (!o.quiet) {
    std::string text = summaryText(stats, name);
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
  }
  if (!o.csvDir.empty()) {
    if (std::string e = writeTables(stats, o.csvDir, name); !e.empty()) {
      std::fprintf(err, "exp-summary: %s\n", e.c_str());
      return kExitUsage;
    }
  }
  if (!o.headline.empty()) {
    std::string text = headlineCsv(stats, o.labels);
    std::string e;
    if (o.headline == "-") {
      std::fwrite(text.data(), 1, text.size(), out);
      if (std::fflush(out) != 0) e = "cannot write the headline to standard output";
    } else {
      e = writeFile(o.headline, text);
    }
    if (!e.empty()) {
      std::fprintf(err, "exp-summary: %s\n", e.c_str());
      return kExitUsage;
    }
  }
  return kExitOk;
}

}  // namespace net1::summary
