// The command line of the experiment programs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings.h"

namespace net1::drivers {

struct Options {
  std::optional<std::uint32_t> seed;  // none: seed from the clock
  std::optional<long> steps;          // stop after this many steps (trials)
  float rateFactor = 0;               // XOR programs: the switch-rate factor
  bool tracePlasticity = false;       // also "uthr", "dthr", "ustdp", "dstdp" lines
  bool traceVolt = false;             // also "volt" lines
  bool traceless = false;             // benchmarks: no trace lines at all, the report only
};

// What the command line asks for: a run, or a text to print and an exit status.
struct ParseResult {
  enum Kind { Run, Help, Version, Error } kind = Run;
  Options options;
  std::string message;  // usage error: the one-line message
};

ParseResult parseOptions(const ProgramSettings& program, int argc, const char* const* argv);
std::string usageText(const ProgramSettings& program);

// Strict readers for option values; exposed for tests.
std::optional<std::uint32_t> parseSeed(const char* text);
std::optional<long> parseSteps(const char* text);
// A complete, non-negative decimal number, white space around it aside,
// rounded to single precision, where it must still be finite.
std::optional<float> parseFactor(const char* text);

}  // namespace net1::drivers
