#include "options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace net1::drivers {
namespace {

bool isXor(const ProgramSettings& p) { return p.stimulus == Stimulus::XorPatterns; }

bool parseTraceList(std::string_view list, Options& options) {
  if (list.empty()) return false;
  while (!list.empty()) {
    std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    if (item == "plasticity") {
      options.tracePlasticity = true;
    } else if (item == "volt") {
      options.traceVolt = true;
    } else {
      return false;
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
    if (list.empty()) return false;
  }
  return true;
}

}  // namespace

std::optional<std::uint32_t> parseSeed(const char* text) {
  if (!*text) return std::nullopt;
  std::uint64_t value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(*c - '0');
    if (value > 0xffffffffu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::optional<long> parseSteps(const char* text) {
  if (!*text) return std::nullopt;
  long value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    value = value * 10 + (*c - '0');
    if (value > 1000000000L) return std::nullopt;
  }
  return value;
}

std::optional<float> parseFactor(const char* text) {
  const char* c = text;
  while (std::isspace(static_cast<unsigned char>(*c))) ++c;
  const char* start = c;
  if (*c == '+') ++c;
  // Digits with at most one point, at least one digit, then an optional
  // exponent: what a person types as a decimal number, and nothing else
  // (no hexadecimal, no "inf" or "nan", no trailing text).
  int digits = 0;
  while (std::isdigit(static_cast<unsigned char>(*c))) ++c, ++digits;
  if (*c == '.') {
    ++c;
    while (std::isdigit(static_cast<unsigned char>(*c))) ++c, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (*c == 'e' || *c == 'E') {
    ++c;
    if (*c == '+' || *c == '-') ++c;
    if (!std::isdigit(static_cast<unsigned char>(*c))) return std::nullopt;
    while (std::isdigit(static_cast<unsigned char>(*c))) ++c;
  }
  const char* end = c;
  while (std::isspace(static_cast<unsigned char>(*c))) ++c;
  if (*c) return std::nullopt;
  std::string number(start, end);
  // Rounded once, to the precision the factor is kept in; a number too
  // large for it would silently become infinite.
  const float value = static_cast<float>(std::strtod(number.c_str(), nullptr));
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::string usageText(const ProgramSettings& p) {
  std::string name(p.name);
  std::string text = "Usage: " + name + (isXor(p) ? " FACTOR" : "") + " [--seed N] [--steps N] [--trace LIST]\n";
  text += "Runs the " + name + " experiment and writes its trace and final report to standard output.\n\n";
  if (isXor(p)) {
    text += "  FACTOR         switch-rate factor, a non-negative decimal number (1 = no bias)\n";
  }
  text +=
      "  --seed N       seed the generator with N (0 to 4294967295) instead of the clock\n"
      "  --steps N      stop after N stimulation steps (a short trial run)\n"
      "  --trace LIST   also write these lines, comma separated: plasticity, volt\n"
      "  --help         print this text\n"
      "  --version      print the program's name and version\n\n"
      "The seed used is printed on standard error as \"seed N\".\n"
      "Exit status: 0 completed, 1 fatal error or failed output, 2 usage error.\n";
  return text;
}

ParseResult parseOptions(const ProgramSettings& program, int argc, const char* const* argv) {
  ParseResult result;
  auto fail = [&](std::string message) {
    result.kind = ParseResult::Error;
    result.message = std::string(program.name) + ": " + std::move(message);
    return result;
  };
  bool haveFactor = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    // An option's value comes after '=' or as the next argument.
    auto value = [&](std::string_view option) -> const char* {
      if (arg.size() > option.size() && arg[option.size()] == '=') return argv[i] + option.size() + 1;
      if (i + 1 < argc) return argv[++i];
      return nullptr;
    };
    auto is = [&](std::string_view option) {
      return arg == option || (arg.size() > option.size() && arg.substr(0, option.size()) == option &&
                               arg[option.size()] == '=');
    };
    const bool looksNegative = arg.size() > 1 && arg[0] == '-' && (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.');
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--help") {
      result.kind = ParseResult::Help;
      return result;
    } else if (!optionsEnded && arg == "--version") {
      result.kind = ParseResult::Version;
      return result;
    } else if (!optionsEnded && is("--seed")) {
      const char* text = value("--seed");
      if (!text) return fail("--seed needs a value");
      auto seed = parseSeed(text);
      if (!seed) return fail("invalid seed '" + std::string(text) + "': expected a whole number from 0 to 4294967295");
      result.options.seed = *seed;
    } else if (!optionsEnded && is("--steps")) {
      const char* text = value("--steps");
      if (!text) return fail("--steps needs a value");
      auto steps = parseSteps(text);
      if (!steps) return fail("invalid step count '" + std::string(text) + "': expected a whole number");
      result.options.steps = *steps;
    } else if (!optionsEnded && is("--trace")) {
      const char* text = value("--trace");
      if (!text) return fail("--trace needs a value");
      if (!parseTraceList(text, result.options)) {
        return fail("invalid --trace list '" + std::string(text) + "': expected plasticity, volt or both, comma separated");
      }
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-' && !(isXor(program) && looksNegative)) {
      return fail("unknown option '" + std::string(arg) + "' (see --help)");
    } else if (isXor(program) && !haveFactor) {
      if (looksNegative) return fail("the switch-rate factor must not be negative, got '" + std::string(arg) + "'");
      auto factor = parseFactor(argv[i]);
      if (!factor) return fail("invalid switch-rate factor '" + std::string(arg) + "': expected a non-negative decimal number");
      result.options.rateFactor = *factor;
      haveFactor = true;
    } else {
      return fail("unexpected argument '" + std::string(arg) + "' (see --help)");
    }
  }
  if (isXor(program) && !haveFactor) return fail("missing switch-rate factor, e.g. '" + std::string(program.name) + " 1.0' (see --help)");
  return result;
}

}  // namespace net1::drivers
