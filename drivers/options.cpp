#include "options.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "build_info.h"
#include "description_checks.h"
#include "description_file.h"
#include "same_file.h"

namespace net1::drivers {
namespace {

using trace::Kind;
using trace::bit;

constexpr trace::KindSet kPlasticityKinds = bit(Kind::uthr) | bit(Kind::dthr) | bit(Kind::ustdp) | bit(Kind::dstdp);
constexpr trace::KindSet kAlwaysWritten = bit(Kind::spk) | bit(Kind::swon) | bit(Kind::swoff) | bit(Kind::nmp) |
                                          bit(Kind::swofftime) | bit(Kind::unit) | bit(Kind::syn);

// The smallest magnitude that rounds to infinity in single precision:
// FLT_MAX and half a unit in its last place.
constexpr double kFloatOverflow = 0x1.ffffffp+127;

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

bool looksNegative(std::string_view arg) {
  return arg.size() > 1 && arg[0] == '-' && (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.');
}

// One assignment of a setting from the command line, kept in the order given.
struct Assignment {
  enum Source { Set, Steps, Factor } source;
  std::string text;
};

// Notes for standard error about options that the settings make moot.
void addNotes(const CommandLine& c, std::vector<std::string>& notes) {
  const Description& d = c.description;
  // A description's own settings never hold a factor where it is moot.
  if (d.run.rateFactor && !factorCanMatter(d)) {
    notes.push_back("the switch-rate factor cannot change this run: no group has a switchProb above 0 and switching on");
  }
  const trace::KindSet kinds = recordedKinds(c.options);
  bool adapts = false, stdp = false, volt = false;
  for (const GroupSpec& g : d.groups) {
    adapts = adapts || g.parameters.thrUpRate > 0;
    stdp = stdp || g.parameters.stdpRate > 0;
    volt = volt || g.parameters.voltPeriod > 0;
  }
  if ((kinds & (bit(Kind::uthr) | bit(Kind::dthr))) && !adapts && c.options.tracePlasticity) {
    notes.push_back("no \"uthr\" or \"dthr\" lines: every group's thrUpRate is 0");
  }
  if ((kinds & (bit(Kind::ustdp) | bit(Kind::dstdp))) && !stdp && c.options.tracePlasticity) {
    notes.push_back("no \"ustdp\" or \"dstdp\" lines: every group's stdpRate is 0");
  }
  if ((kinds & bit(Kind::volt)) && !volt && c.options.traceVolt) {
    notes.push_back("no \"volt\" lines: every group's voltPeriod is 0");
  }
  for (std::string& note : descriptionNotes(d)) notes.push_back(std::move(note));
  if (c.rerun && c.rerun->commit != buildCommit()) {
    notes.push_back("the run record " + c.rerun->path + " was made by the build of commit " + c.rerun->commit +
                    ", this is " + buildCommit() + ": the run may differ");
  }
}

}  // namespace

trace::KindSet recordedKinds(const Options& options) {
  if (options.record) return *options.record;
  trace::KindSet kinds = kAlwaysWritten;
  if (options.tracePlasticity) kinds |= kPlasticityKinds;
  if (options.traceVolt) kinds |= bit(Kind::volt);
  return kinds;
}

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

std::optional<long long> parseWhole(const char* text) {
  if (!*text) return std::nullopt;
  constexpr long long kMax = 0x7fffffffffffffffLL;
  long long value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    const int digit = *c - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

std::optional<double> parseDecimal(const char* text) {
  const char* c = text;
  while (std::isspace(static_cast<unsigned char>(*c))) ++c;
  const char* start = c;
  if (*c == '+' || *c == '-') ++c;
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
  // Beyond the range of a double this is an infinity, which the caller
  // reports as too large.
  return std::strtod(std::string(start, end).c_str(), nullptr);
}

std::optional<trace::KindSet> parseKinds(std::string_view list) {
  trace::KindSet kinds = 0;
  if (list.empty()) return std::nullopt;
  for (;;) {
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    Kind kind;
    if (item == "report") {
      kinds |= bit(Kind::unit) | bit(Kind::syn);
    } else if (item == "plasticity") {
      kinds |= kPlasticityKinds;
    } else if (trace::findKind(item, kind)) {
      kinds |= bit(kind);
    } else {
      return std::nullopt;
    }
    if (comma == std::string_view::npos) return kinds;
    list.remove_prefix(comma + 1);
  }
}

std::optional<Program> findProgramNamed(std::string_view name) {
  if (name == "net1") return Program{name, nullptr};
  if (const Experiment* e = findExperiment(name)) return Program{e->name, e};
  return std::nullopt;
}

std::string usageText(const Program& p) {
  std::string name(p.name);
  std::string text;
  if (p.experiment) {
    text = "Usage: " + name + (p.takesFactor() ? " [FACTOR]" : "") + " [OPTION]...\n";
    text += "Runs the " + name + " experiment and writes its trace and final report to standard output.\n\n";
  } else {
    text = "Usage: net1 FILE [OPTION]...\n";
    text += "Runs the network description FILE (or the experiment of that name, e.g. exp-poisson) and writes\n"
            "its trace and final report to standard output. net1 --params RECORD.json reruns a run\n"
            "from its --meta record.\n\n";
  }
  if (p.takesFactor()) {
    text +=
        "  FACTOR            switch-rate factor, a non-negative decimal number (1 = no bias), the\n"
        "                    setting rateFactor; required where it can change the run\n";
  }
  text +=
      "  --seed N          seed the generator with N (0 to 4294967295) instead of the clock\n"
      "  --steps N         run N stimulation steps (--set steps=N); fewer make a trial run\n"
      "  --set KEY=VALUE   change one setting (repeatable); --print-params lists every key\n"
      "  --params FILE     read settings from a TOML file, a whole description, or a run record\n"
      "  --print-params    print the run's complete description, and exit\n"
      "  --trace LIST      also write these lines, comma separated: plasticity, volt\n"
      "  --record KINDS    write only these kinds of line, comma separated: spk, swon, swoff,\n"
      "                    nmp, swofftime, report, uthr, dthr, ustdp, dstdp, volt, plasticity\n"
      "  -o, --output FILE write the trace to FILE (repeatable; - is standard output); a name\n"
      "                    ending in .zst is compressed; FILE appears only when the run completed\n"
      "  --meta FILE       write a record of the run (description, seed, outcome) as JSON\n"
      "  --progress SECS   a progress line on standard error every SECS seconds\n"
      "  -h, --help        print this text\n"
      "  --version         print the program's name and version\n\n"
      "Settings apply in this order: the description, --params files, then --steps, --set\n"
      "and FACTOR as given. The seed used is printed on standard error as \"seed N\".\n"
      "Exit status: 0 completed, 1 fatal error or failed output, 2 usage error.\n";
  return text;
}

CommandLine parseCommandLine(const Program& program, int argc, const char* const* argv) {
  CommandLine result;
  Options& options = result.options;

  CLI::App app;
  app.set_help_flag();
  app.allow_extras();
  bool help = false, version = false, printParams = false;
  std::string seed, traceList, recordList, progress;
  std::vector<std::string> paramsFiles;
  auto takeLast = [](CLI::Option* o) { return o->multi_option_policy(CLI::MultiOptionPolicy::TakeLast); };
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  app.add_flag("--print-params", printParams);
  takeLast(app.add_option("--seed", seed));
  takeLast(app.add_option("--trace", traceList));
  takeLast(app.add_option("--record", recordList));
  takeLast(app.add_option("--meta", options.meta));
  takeLast(app.add_option("--progress", progress));
  // Options that may be given again collect one value per use.
  auto repeatable = [](CLI::Option* o) { return o->allow_extra_args(false); };
  repeatable(app.add_option("--params", paramsFiles));
  repeatable(app.add_option("-o,--output", options.outputs));
  std::vector<std::string> sets, stepsTexts;
  std::string factor, file;
  CLI::Option* setOption = repeatable(app.add_option("--set", sets));
  CLI::Option* stepsOption = repeatable(app.add_option("--steps", stepsTexts));
  CLI::Option* factorOption = program.takesFactor() ? app.add_option("factor", factor) : nullptr;
  if (!program.experiment) app.add_option("file", file);

  // "--record=" would otherwise take the next argument as its value.
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--") break;
    if (a.size() > 3 && a.substr(0, 2) == "--" && a.back() == '=' && a.find('=') == a.size() - 1) {
      throw UsageError(std::string(a.substr(0, a.size() - 1)) + " needs a value");
    }
  }
  std::vector<std::string> args;
  for (int i = argc - 1; i > 0; --i) args.emplace_back(argv[i]);
  const std::vector<std::string> given(args.rbegin(), args.rend());
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    // Help wins over a malformed line, as when it is read first.
    for (const std::string& a : given) {
      if (a == "--") break;
      if (a == "--help" || a == "-h") {
        result.kind = CommandLine::Help;
        return result;
      }
    }
    const std::string what = e.what();
    const std::size_t colon = what.find(':');
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) && colon != std::string::npos) {
      throw UsageError(what.substr(0, colon) + " needs a value");
    }
    throw UsageError(clip(what));
  }
  if (help) {
    result.kind = CommandLine::Help;
    return result;
  }
  if (version) {
    result.kind = CommandLine::Version;
    return result;
  }
  if (!seed.empty() || app.count("--seed")) {
    options.seed = parseSeed(seed.c_str());
    if (!options.seed) {
      throw UsageError("invalid seed '" + clip(seed) + "': expected a whole number from 0 to 4294967295");
    }
  }
  if (app.count("--trace") && !parseTraceList(traceList, options)) {
    throw UsageError("invalid --trace list '" + clip(traceList) + "': expected plasticity, volt or both, comma separated");
  }
  if (app.count("--record")) {
    options.record = parseKinds(recordList);
    if (!options.record) {
      throw UsageError("invalid --record list '" + clip(recordList) +
                       "': expected kinds of line, comma separated: spk, swon, swoff, nmp, swofftime, report, "
                       "uthr, dthr, ustdp, dstdp, volt, plasticity");
    }
    // Recording a kind of line asks for its lines.
    if (*options.record & kPlasticityKinds) options.tracePlasticity = true;
    if (*options.record & bit(Kind::volt)) options.traceVolt = true;
  }
  if (app.count("--progress")) {
    const std::optional<double> seconds = parseDecimal(progress.c_str());
    if (!seconds || !(*seconds > 0) || !std::isfinite(*seconds)) {
      throw UsageError("invalid --progress interval '" + clip(progress) + "': expected a number of seconds above 0");
    }
    options.progressSeconds = *seconds;
  }
  if (app.count("--meta") && options.meta.empty()) throw UsageError("--meta needs a file name");
  for (std::size_t i = 0; i < options.outputs.size(); ++i) {
    if (options.outputs[i].empty()) throw UsageError("--output needs a file name, or - for standard output");
    for (std::size_t j = 0; j < i; ++j) {
      if (options.outputs[i] == options.outputs[j]) {
        throw UsageError("--output " + clip(options.outputs[i]) + " is given twice");
      }
    }
    if (!options.meta.empty() && options.outputs[i] == options.meta) {
      throw UsageError("--meta " + clip(options.meta) + " is also an --output");
    }
  }

  for (const std::string& extra : app.remaining()) {
    if (extra == "--") continue;
    if (program.takesFactor() && looksNegative(extra)) {
      throw UsageError("the switch-rate factor must not be negative, got '" + clip(extra) + "'");
    }
    if (extra.size() > 1 && extra[0] == '-') throw UsageError("unknown option '" + clip(extra) + "' (see --help)");
    throw UsageError("unexpected argument '" + clip(extra) + "' (see --help)");
  }

  // Assignments apply in the order given, across options, so that the last
  // one wins.
  std::vector<Assignment> assignments;
  std::size_t setsTaken = 0, stepsTaken = 0;
  for (const CLI::Option* o : app.parse_order()) {
    if (o == setOption) assignments.push_back({Assignment::Set, sets[setsTaken++]});
    if (o == stepsOption) assignments.push_back({Assignment::Steps, stepsTexts[stepsTaken++]});
    if (o == factorOption && factorOption) assignments.push_back({Assignment::Factor, factor});
  }

  SettingsBuilder settings = program.experiment
                                 ? SettingsBuilder(experimentDescription(*program.experiment), std::string(program.name))
                                 : SettingsBuilder(Description{}, "");
  if (!file.empty()) {
    // A file of that name, or else an experiment's own description.
    const Experiment* builtIn = ::access(file.c_str(), F_OK) != 0 ? findExperiment(file) : nullptr;
    if (builtIn) {
      settings.load(experimentDescription(*builtIn), std::string(builtIn->name));
    } else {
      settings.readFile(file, true);
      result.inputs.push_back(file);
    }
  }
  for (const std::string& path : paramsFiles) {
    settings.readFile(path, false);
    result.inputs.push_back(path);
  }
  if (settings.description().groups.empty()) {
    throw UsageError("no network description: give a description FILE, an experiment's name (exp-poisson), or "
                     "--params RECORD.json (see --help)");
  }
  for (const Assignment& a : assignments) {
    switch (a.source) {
      case Assignment::Set:
        settings.set(a.text, "--set");
        break;
      case Assignment::Steps: {
        const std::optional<long long> steps = parseWhole(a.text.c_str());
        if (!steps) throw UsageError("invalid step count '" + clip(a.text) + "': expected a whole number");
        settings.setWhole("steps", *steps, a.text, "--steps");
        break;
      }
      case Assignment::Factor: {
        const std::optional<double> factor = parseDecimal(a.text.c_str());
        if (!factor) {
          throw UsageError("invalid switch-rate factor '" + clip(a.text) + "': expected a non-negative decimal number");
        }
        if (*factor < 0) throw UsageError("the switch-rate factor must not be negative, got '" + clip(a.text) + "'");
        if (*factor >= kFloatOverflow) {
          throw UsageError("the switch-rate factor " + clip(a.text) + " is too large for single precision (at most 3.4028235e38)");
        }
        settings.setReal("rateFactor", *factor, a.text, "the switch-rate factor");
        break;
      }
    }
  }
  const std::string missingFactor =
      program.takesFactor()
          ? "missing switch-rate factor, e.g. '" + std::string(program.name) + " 1.0' (see --help)"
          : "missing rateFactor: edition 2 scales switching by it here; give it with --set rateFactor=F (1 is neutral)";
  result.description = settings.finish(missingFactor);
  result.base = settings.base();
  result.baseName = settings.baseName();
  result.rerun = settings.recorded();
  if (result.rerun) {
    // A rerun writes what the recorded run wrote, unless told otherwise.
    if (!options.seed) options.seed = result.rerun->seed;
    if (!app.count("--record") && !result.rerun->record.empty()) {
      std::string kinds;
      for (const std::string& k : result.rerun->record) kinds += (kinds.empty() ? "" : ",") + k;
      options.record = parseKinds(kinds);
      if (!options.record) throw UsageError(result.rerun->path + ": the kinds of line it records are not known here");
      if (*options.record & kPlasticityKinds) options.tracePlasticity = true;
      if (*options.record & bit(Kind::volt)) options.traceVolt = true;
    }
  }
  if (printParams) result.kind = CommandLine::PrintParams;
  if (result.kind == CommandLine::Run) {
    // No output may name an input or another output, however spelt.
    std::vector<io::Named> inputs, outputs;
    if (!file.empty() && ::access(file.c_str(), F_OK) == 0) inputs.push_back({"", file});
    for (const std::string& path : paramsFiles) inputs.push_back({"--params", path});
    for (const std::string& o : options.outputs) outputs.push_back({"-o", o});
    if (!options.meta.empty()) outputs.push_back({"--meta", options.meta});
    if (std::string problem = io::sameFileProblem(inputs, outputs); !problem.empty()) throw UsageError(problem);
  }
  addNotes(result, result.notes);
  return result;
}

}  // namespace net1::drivers
