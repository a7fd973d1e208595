// The command line of the experiment programs: how a run is started and
// what it writes, and (through SettingsBuilder) what it runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings.h"
#include "trace_grammar.h"
#include "usage_error.h"

namespace net1::drivers {

// How a run is seeded, what it writes and where; the experiment itself is
// in ProgramSettings.
struct Options {
  std::optional<std::uint32_t> seed;  // none: seed from the clock
  bool tracePlasticity = false;       // also "uthr", "dthr", "ustdp", "dstdp" lines
  bool traceVolt = false;             // also "volt" lines
  bool traceless = false;             // benchmarks: no trace lines at all, the report only
  std::optional<trace::KindSet> record;  // the kinds to write; none: all the run writes
  std::vector<std::string> outputs;   // "-" is standard output; none: standard output
  std::string meta;                   // the run record's file, or empty
  double progressSeconds = 0;         // a progress line this often; 0: on a terminal only
};

// The kinds of line a run with these options writes.
trace::KindSet recordedKinds(const Options& options);

// What the command line asks for.
struct CommandLine {
  enum Kind { Run, Help, Version, PrintParams } kind = Run;
  Options options;
  ProgramSettings settings;         // checked, ready to run
  std::vector<std::string> notes;   // for standard error: what the settings make moot
};

// Throws UsageError with the one-line message (without the program's name).
CommandLine parseCommandLine(const ProgramSettings& program, int argc, const char* const* argv);
std::string usageText(const ProgramSettings& program);

// Strict readers for option values; exposed for tests.
std::optional<std::uint32_t> parseSeed(const char* text);
// Digits only; a value beyond the largest long reads as that.
std::optional<long long> parseWhole(const char* text);
// A complete decimal number (digits, at most one point, an optional
// exponent), white space around it aside: what a person types, and nothing
// else (no hexadecimal, no "inf" or "nan", no trailing text). Its sign is
// left to the caller.
std::optional<double> parseDecimal(const char* text);
// A comma-separated list of line kinds (keywords, "report", "plasticity").
std::optional<trace::KindSet> parseKinds(std::string_view list);

}  // namespace net1::drivers
