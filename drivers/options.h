// The command line of the programs: how a run is started and what it
// writes, and (through SettingsBuilder) what it runs. The nine experiment
// programs run their own description; net1 runs the one it is given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "description.h"
#include "experiments.h"
#include "settings.h"
#include "trace_grammar.h"
#include "usage_error.h"

namespace net1::drivers {

// A program: its name, and the experiment it runs (none for net1, which
// takes a description file).
struct Program {
  std::string_view name;
  const Experiment* experiment = nullptr;
  // The XOR programs take their switch-rate factor as their first argument.
  bool takesFactor() const { return experiment && name.substr(0, 8) == "exp-xor-"; }
};
// The program of that name: an experiment's, or net1.
std::optional<Program> findProgramNamed(std::string_view name);

// How a run is seeded, what it writes and where; what it runs is the
// description.
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
  Description description;         // checked, ready to run
  Description base;                // what the settings started from
  std::string baseName;            // the program, or the file, it came from
  std::vector<std::string> inputs;  // the files read: the description, settings, a record
  std::optional<RecordedRun> rerun;  // a run record given to --params
  std::vector<std::string> notes;  // for standard error: what the settings make moot
};

// Throws UsageError with the one-line message (without the program's name).
CommandLine parseCommandLine(const Program& program, int argc, const char* const* argv);
std::string usageText(const Program& program);

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
