#include "cli.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "byte_source.h"
#include "csv_tables.h"
#include "line_source.h"
#include "output_file.h"
#include "same_file.h"
#include "summary_text.h"
#include "text_format.h"
#include "trace_reader.h"
#include "trace_stats.h"

#ifndef NET1_VERSION
#define NET1_VERSION "unknown"
#endif

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
    "  --lenient          skip and count bad lines (not trace lines, or out of place)\n"
    "                     instead of stopping at the first\n"
    "  --quiet            print no summary\n"
    "  -h, --help         print this help\n"
    "  --version          print the program's name and version\n"
    "\n"
    "Times and widths are from 0 to 999999999999.999999, to the millionth.\n"
    "Exit status: 0 done, 1 bad data (a bad line, empty input, a read error, damaged\n"
    "compressed data), 2 usage error (bad option, --bin too fine for the trace, input\n"
    "or output not accessible, an output that could not be written, an output that\n"
    "is the input or another output), 128+N stopped by signal N (its temporary files\n"
    "removed).\n";

struct Options {
  std::string input = "-";
  std::string csvDir;
  std::string headline;
  Labels labels;
  StatsOptions stats;
  bool lenient = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Returns an error message, empty on success. The library takes the
// options apart; their values are read here, to the millionth and with
// messages that name the accepted range.
std::string parseOptions(int argc, const char* const* argv, Options& o) {
  CLI::App app("exp-summary", "exp-summary");
  app.set_help_flag();  // the help text is ours, kUsage
  std::string bin, raster;
  std::vector<std::string> labels, inputs;
  app.add_flag("-h,--help", o.help);
  app.add_flag("--version", o.version);
  app.add_flag("--lenient", o.lenient)->disable_flag_override();
  app.add_flag("--quiet", o.quiet)->disable_flag_override();
  // As for every option of the programs, a repeated option takes its last value.
  const auto last = CLI::MultiOptionPolicy::TakeLast;
  app.add_option("--csv", o.csvDir)->multi_option_policy(last);
  app.add_option("--headline", o.headline)->multi_option_policy(last);
  app.add_option("--bin", bin)->multi_option_policy(last);
  app.add_option("--raster", raster)->multi_option_policy(last);
  app.add_option("--label", labels)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("TRACE", inputs)->expected(0, 1);
  try {
    std::vector<std::string> args;
    for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    // The library's words for the usual mistakes, put as the programs put them.
    std::string m = e.what();
    if (inputs.size() > 1 || m.find("TRACE") != std::string::npos) return "more than one input named";
    if (auto at = m.find(": 1 required"); at != std::string::npos && m.find("missing") != std::string::npos)
      return m.substr(0, at) + " needs a value";
    if (auto at = m.find(" was given a disallowed flag override"); at != std::string::npos)
      return "--" + m.substr(0, at) + " takes no value";
    if (auto at = m.find("not expected: "); at != std::string::npos)
      return "unknown option " + m.substr(at + 14);
    for (char& c : m)
      if (c == '\n') c = ' ';
    return m;
  }
  if (o.help || o.version) return "";
  if (!inputs.empty()) o.input = inputs.front();
  if (app.count("--bin")) {
    if (!parseTime(bin, o.stats.binWidth) || o.stats.binWidth <= 0)
      return "--bin needs a width from 0.000001 to 999999999999.999999, not \"" + bin + "\"";
  }
  if (app.count("--raster")) {
    auto colon = raster.find(':');
    Ticks from = 0, to = 0;
    if (colon == std::string::npos || !parseTime(std::string_view(raster).substr(0, colon), from) ||
        !parseTime(std::string_view(raster).substr(colon + 1), to) || from >= to)
      return "--raster needs FROM:TO, times with FROM < TO, not \"" + raster + "\"";
    o.stats.rasterGiven = true;
    o.stats.rasterFrom = from;
    o.stats.rasterTo = to;
  }
  for (const std::string& v : labels) {
    auto eq = v.find('=');
    if (eq == std::string::npos || eq == 0) return "--label needs KEY=VALUE, not \"" + v + "\"";
    o.labels.emplace_back(v.substr(0, eq), v.substr(eq + 1));
  }
  if (app.count("--csv") && o.csvDir.empty()) return "--csv needs a folder";
  if (app.count("--headline") && o.headline.empty()) return "--headline needs a file";
  return "";
}

// One line on err; the status to exit with.
int fail(std::FILE* err, int status, const std::string& message) {
  std::fprintf(err, "exp-summary: %s\n", message.c_str());
  return status;
}

}  // namespace

int runCli(int argc, const char* const* argv, int stdinFd, std::FILE* out, std::FILE* err) {
  Options o;
  if (std::string e = parseOptions(argc, argv, o); !e.empty())
    return fail(err, kExitUsage, e + " (see exp-summary --help)");
  if (o.help || o.version) {
    std::string text = o.help ? kUsage : std::string("exp-summary ") + NET1_VERSION + "\n";
    if (std::string e = writeOut(out, text, o.help ? "the help" : "the version"); !e.empty())
      return fail(err, kExitUsage, e);
    return kExitOk;
  }

  const bool fromStdin = o.input == "-";
  const std::string name = fromStdin ? "standard input" : o.input;
  int fd = stdinFd;
  if (!fromStdin) {
    fd = ::open(o.input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(err, kExitUsage, "cannot open " + name + ": " + std::strerror(errno));
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  struct CloseInput {
    int fd;
    bool owned;
    ~CloseInput() {
      if (owned) ::close(fd);
    }
  } closeInput{fd, !fromStdin};

  // No output may replace the trace being read, or another output.
  {
    std::vector<io::Named> outputs;
    if (!o.quiet) outputs.emplace_back("", "-");
    if (!o.headline.empty()) outputs.emplace_back("--headline", o.headline);
    if (!o.csvDir.empty())
      for (const std::string& table : CsvTables::paths(o.csvDir)) outputs.emplace_back("--csv", table);
    if (std::string e = io::sameFileProblem({{"", o.input}}, outputs, stdinFd, ::fileno(out)); !e.empty())
      return fail(err, kExitUsage, e);
  }

  // The outputs are opened before the trace is read, so that an output
  // that cannot be written is found out before a long read, not after.
  CsvTables tables;
  if (!o.csvDir.empty()) {
    if (std::string e = tables.open(o.csvDir); !e.empty()) return fail(err, kExitUsage, e);
    o.stats.rows = &tables;
  }
  OutputFile headline;
  if (!o.headline.empty()) {
    if (std::string e = headline.open(o.headline, out, "the headline"); !e.empty()) return fail(err, kExitUsage, e);
  }
  o.stats.keepBins = !o.csvDir.empty();

  TraceStats stats(o.stats);
  {
    std::unique_ptr<ByteSource> bytes = openByteSource(fd);
    LineSource source(*bytes);
    TraceReader reader(stats, name, o.lenient, err);
    if (!reader.read(source)) return kExitBadData;
  }

  if (stats.lines() == 0) {
    if (stats.badLines() != 0)
      return fail(err, kExitBadData,
                  name + ": no trace lines, only " + std::to_string(stats.badLines()) + " bad lines");
    if (stats.cutShortLine() != 0)
      return fail(err, kExitBadData, name + ": no complete trace line, only one without a newline");
    return fail(err, kExitBadData, name + ": empty input, no trace lines");
  }
  stats.finish();
  if (!o.csvDir.empty() && stats.bins().tooFine()) {
    const Ticks width = TimeBins::smallestWidth(stats.firstTime(), stats.lastTime(), stats.binSeries());
    return fail(err, kExitUsage,
                "--bin " + formatTicks(o.stats.binWidth) + " is too fine for this trace (time " +
                    formatTicks(stats.firstTime()) + " to " + formatTicks(stats.lastTime()) + ", " +
                    std::to_string(stats.binSeries()) + " series of bins, at most " +
                    std::to_string(TimeBins::kMaxCells) + " counts): the smallest width that works is " +
                    formatTicks(width));
  }
  if (stats.cutShortLine() != 0)
    std::fprintf(err, "exp-summary: %s: trace cut short: line %llu has no newline and was left out\n",
                 name.c_str(), static_cast<unsigned long long>(stats.cutShortLine()));

  if (!o.quiet) {
    if (std::string e = writeOut(out, summaryText(stats, name), "the summary"); !e.empty())
      return fail(err, kExitUsage, e);
  }
  if (!o.csvDir.empty()) {
    if (std::string e = tables.commit(stats, name); !e.empty()) return fail(err, kExitUsage, e);
  }
  if (!o.headline.empty()) {
    headline.write(headlineCsv(stats, o.labels));
    if (std::string e = headline.commit(); !e.empty()) return fail(err, kExitUsage, e);
  }
  return kExitOk;
}

}  // namespace net1::summary
