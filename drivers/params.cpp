#include "params.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <sstream>
#include <toml++/toml.h>
#include <type_traits>

#include "setting_keys.h"

namespace net1::drivers {
namespace {

// Settings files are a few kilobytes; anything far larger is not one, and
// is refused before it is read into memory.
constexpr std::size_t kMaxFileSize = 1 << 20;

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

std::string nodeText(const toml::node& node) {
  std::ostringstream out;
  node.visit([&](const auto& value) { out << value; });
  return out.str();
}

// The allowed values of a key, as its message states them.
std::string checkProblem(Check check, double value) {
  switch (check) {
    case Check::Finite: return "";
    case Check::NonNegative: return value >= 0 ? "" : "must not be negative";
    case Check::Positive: return value > 0 ? "" : "must be above 0";
    case Check::Probability: return value >= 0 && value <= 1 ? "" : "must be a probability, from 0 to 1";
    case Check::GroupSize:
      return value >= 1 && value <= kMaxGroupSize ? "" : "must be a whole number from 1 to 5000";
    case Check::StepCount:
      return value >= 0 && value <= kMaxSteps ? "" : "must be a whole number from 0 to 1000000000";
  }
  return "";
}

std::string readReal(const Key& key, const toml::node& node, double& out) {
  if (const auto* i = node.as_integer()) {
    out = static_cast<double>(i->get());
  } else if (const auto* f = node.as_floating_point()) {
    out = f->get();
  } else {
    return "must be a number";
  }
  if (!std::isfinite(out)) return "must be a finite number";
  return checkProblem(key.check, out);
}

std::string readFloat(const Key& key, const toml::node& node, float& out) {
  double value = 0;
  if (std::string problem = readReal(key, node, value); !problem.empty()) return problem;
  // Beyond FLT_MAX and half a unit in its last place, rounding gives infinity.
  if (std::fabs(value) >= 0x1.ffffffp+127) return "is too large for single precision (at most 3.4028235e38)";
  out = static_cast<float>(value);
  return "";
}

template <class Whole>
std::string read(const Key& key, Whole& field, const toml::node& node) {
  const auto* i = node.as_integer();
  if (!i) return checkProblem(key.check, -1.0);  // every whole-number key excludes -1
  if (std::string problem = checkProblem(key.check, static_cast<double>(i->get())); !problem.empty()) return problem;
  field = static_cast<Whole>(i->get());
  return "";
}

std::string read(const Key& key, float& field, const toml::node& node) { return readFloat(key, node, field); }
std::string read(const Key& key, double& field, const toml::node& node) { return readReal(key, node, field); }

std::string read(const Key& key, std::optional<float>& field, const toml::node& node) {
  float value = 0;
  if (std::string problem = readFloat(key, node, value); !problem.empty()) return problem;
  field = value;
  return "";
}

std::string read(const Key&, bool& field, const toml::node& node) {
  const auto* b = node.as_boolean();
  if (!b) return "must be true or false";
  field = b->get();
  return "";
}

std::string read(const Key& key, Range& field, const toml::node& node) {
  const auto* array = node.as_array();
  const std::string shape = "must be a range [lo, hi] of two numbers";
  if (!array || array->size() != 2) return shape;
  Range r;
  for (float* end : {&r.lo, &r.hi}) {
    const toml::node* item = array->get(end == &r.lo ? 0 : 1);
    if (!item->is_number()) return shape;
    if (std::string problem = readFloat(key, *item, *end); !problem.empty()) return problem;
  }
  if (r.lo > r.hi) return "is a range whose low end is above its high end";
  field = r;
  return "";
}

constexpr Stimulus kStimuli[] = {Stimulus::RandomUnit, Stimulus::Cyclic, Stimulus::XorPatterns};
constexpr DelayDraw kDelayDraws[] = {DelayDraw::Exponential, DelayDraw::Uniform};

template <class Choice, std::size_t N>
std::string readChoice(Choice& field, const toml::node& node, const Choice (&choices)[N]) {
  std::string names;
  for (std::size_t i = 0; i < N; ++i) {
    if (const auto* s = node.as_string(); s && s->get() == choiceName(choices[i])) {
      field = choices[i];
      return "";
    }
    names += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + "\"" + std::string(choiceName(choices[i])) + "\"";
  }
  return "must be " + names;
}

std::string read(const Key&, Stimulus& field, const toml::node& node) { return readChoice(field, node, kStimuli); }
std::string read(const Key&, DelayDraw& field, const toml::node& node) { return readChoice(field, node, kDelayDraws); }

template <class T>
constexpr bool isChoice = std::is_same_v<T, Stimulus> || std::is_same_v<T, DelayDraw>;
template <class T>
constexpr bool isRange = std::is_same_v<T, Range>;

// Calls fn(key, field) for the key of that name; false when there is none.
template <class Settings, class Fn>
bool withKey(Settings& p, std::string_view name, Fn&& fn) {
  bool found = false;
  forEachSetting(p, [&](const Key& key, auto& field) {
    if (!found && keyName(key) == name) {
      found = true;
      fn(key, field);
    }
  });
  return found;
}

std::string readContents(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw UsageError("cannot read settings file " + path + ": " + std::strerror(errno));
  std::string text;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      throw UsageError("cannot read settings file " + path + ": " + std::strerror(error));
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > kMaxFileSize) {
      ::close(fd);
      throw UsageError("settings file " + path + " is larger than 1 MiB: not a settings file");
    }
  }
  ::close(fd);
  return text;
}

}  // namespace

std::string nearestKey(std::string_view unknown, const ProgramSettings& p) {
  const std::string wanted = lower(unknown);
  // A group's field named without its group: every group has it.
  if (wanted.find('.') == std::string::npos) {
    std::string field;
    forEachSetting(p, [&](const Key& key, const auto&) {
      if (!key.group.empty() && lower(key.field) == wanted) field = key.field;
    });
    if (!field.empty()) return "sorc." + field + ", rsvr." + field + " or sink." + field;
  }
  std::string best;
  std::size_t bestDistance = std::max<std::size_t>(2, wanted.size() / 3) + 1;
  forEachSetting(p, [&](const Key& key, const auto&) {
    const std::string name = keyName(key);
    const std::size_t d = editDistance(wanted, lower(name));
    if (d < bestDistance) {
      best = name;
      bestDistance = d;
    }
  });
  return best;
}

SettingsBuilder::SettingsBuilder(const ProgramSettings& row) : row_(row), p_(row) {}

UsageError SettingsBuilder::unknownKey(const std::string& key, std::string_view where) const {
  if (p_.edition != 2 && isEdition2Key(key)) {
    return UsageError(std::string(where) + ": " + key + " is a setting of the XOR programs only");
  }
  const std::string hint = nearestKey(key, p_);
  return UsageError(std::string(where) + ": unknown key '" + clip(key) + "'" +
                    (hint.empty() ? " (--print-params lists every key)" : " (did you mean " + hint + "?)"));
}

std::string SettingsBuilder::origin(const std::string& key) const {
  const auto it = origins_.find(key);
  return it == origins_.end() ? std::string() : it->second;
}

template <class Node>
void SettingsBuilder::assign(const std::string& key, const Node& node, std::string_view text, std::string_view where) {
  std::string problem;
  const bool known = withKey(p_, key, [&](const Key& k, auto& field) { problem = read(k, field, node); });
  if (!known) throw unknownKey(key, where);
  if (!problem.empty()) {
    throw UsageError(std::string(where) + ": " + key + " " + problem + ", got " + clip(text));
  }
  origins_[key] = std::string(where);
}

void SettingsBuilder::readFile(const std::string& path) {
  const std::string text = readContents(path);
  toml::table table;
  try {
    table = toml::parse(text, path);
  } catch (const toml::parse_error& e) {
    throw UsageError(path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description()));
  }
  // Keys in a table are its name, a dot and theirs: GROUP.FIELD. No key
  // has two dots, so a table within a group's is an unknown key.
  for (auto&& [k, v] : table) {
    const std::string name(k.str());
    const toml::table* group = v.as_table();
    if (!group) {
      assign(name, v, nodeText(v), path + ":" + std::to_string(v.source().begin.line));
      continue;
    }
    for (auto&& [field, value] : *group) {
      const std::string key = name + "." + std::string(field.str());
      const std::string where = path + ":" + std::to_string(value.source().begin.line);
      if (value.is_table()) throw unknownKey(key, where);
      assign(key, value, nodeText(value), where);
    }
  }
}

void SettingsBuilder::set(std::string_view assignment, std::string_view where) {
  const std::size_t eq = assignment.find('=');
  if (eq == std::string_view::npos || eq == 0) {
    throw UsageError(std::string(where) + " takes KEY=VALUE, got '" + clip(assignment) + "'");
  }
  const std::string key(assignment.substr(0, eq));
  const std::string value(assignment.substr(eq + 1));
  const std::string at = std::string(where) + " " + clip(assignment);

  // The value is read as TOML reads it; a choice may be a bare word, and a
  // range may leave out its brackets.
  auto parsed = [](const std::string& text) -> std::optional<toml::table> {
    try {
      toml::table t = toml::parse("v = " + text);
      if (t.size() == 1 && t.contains("v")) return t;
    } catch (const toml::parse_error&) {
    }
    return std::nullopt;
  };
  std::optional<toml::table> t = parsed(value);
  const bool known = withKey(p_, key, [&](const Key&, auto& field) {
    using T = std::remove_reference_t<decltype(field)>;
    if constexpr (isChoice<T>) {
      if (!t || !t->get("v")->is_string()) {
        t = toml::table{};
        t->insert("v", value);
      }
    } else if constexpr (isRange<T>) {
      if (!t || !t->get("v")->is_array()) {
        if (auto bracketed = parsed("[" + value + "]")) t = std::move(bracketed);
      }
    }
  });
  if (!known) throw unknownKey(key, at);
  // Text that is no TOML value is taken as a string, which the key's own
  // reader then refuses with the value it wanted.
  if (!t) {
    t = toml::table{};
    t->insert("v", value);
  }
  assign(key, *t->get("v"), value, at);
}

void SettingsBuilder::setReal(std::string_view key, double value, std::string_view text, std::string_view where) {
  assign(std::string(key), toml::value<double>(value), text, where);
}

void SettingsBuilder::setWhole(std::string_view key, long long value, std::string_view text,
                               std::string_view where) {
  assign(std::string(key), toml::value<std::int64_t>(value), text, where);
}

const ProgramSettings& SettingsBuilder::finish() {
  // "rsvr.weightMin (set at p.toml:3)": where a key in a message came from.
  auto named = [&](const std::string& key) {
    const std::string from = origin(key);
    return from.empty() ? key : key + " (" + from + ")";
  };
  auto fail = [](const std::string& message) { throw UsageError(message); };

  for (auto [name, g] : {std::pair{"sorc", &p_.sorc}, {"rsvr", &p_.rsvr}, {"sink", &p_.sink}}) {
    const std::string prefix = std::string(name) + ".";
    if (g->weightMin > g->weightMax) {
      fail(named(prefix + "weightMin") + " is above " + named(prefix + "weightMax") + ": " +
           realText(g->weightMin) + " > " + realText(g->weightMax));
    }
    if (g->thrFloor > g->thrCeiling) {
      fail(named(prefix + "thrFloor") + " is above " + named(prefix + "thrCeiling") + ": " +
           realText(g->thrFloor) + " > " + realText(g->thrCeiling));
    }
  }
  if (p_.stimulus == Stimulus::XorPatterns && p_.sorc.size % 2 != 0) {
    fail(named("sorc.size") + " is " + std::to_string(p_.sorc.size) +
         ": the xor stimulus needs an even number of input units, in two halves");
  }
  if (p_.connectionsPerUnit > 0) {
    for (auto [name, g] : {std::pair{"rsvr", &p_.rsvr}, {"sink", &p_.sink}}) {
      if (p_.connectionsPerUnit > g->size) {
        fail(named("connectionsPerUnit") + " is " + realText(p_.connectionsPerUnit) + ", more than the " +
             std::to_string(g->size) + " units of " + name + " (" + named(std::string(name) + ".size") +
             "): a connection probability above 1");
      }
    }
  }
  if (p_.delayDraw == DelayDraw::Exponential && !(p_.delay.lo > 0 && p_.delay.hi < 1)) {
    fail(named("delay") + " is [" + realText(p_.delay.lo) + ", " + realText(p_.delay.hi) +
         "]: exponential delays draw u inside (0, 1), so that every delay is finite and above 0");
  }
  if (p_.delayDraw == DelayDraw::Uniform && !(p_.delay.lo > 0)) {
    fail(named("delay") + " is [" + realText(p_.delay.lo) + ", " + realText(p_.delay.hi) +
         "]: every delay must be above 0");
  }
  // A trial run may stop before the program's own switch-off; a switch-off
  // step chosen by hand must fall inside the run.
  if (p_.switchOffAfter > p_.steps && p_.switchOffAfter != row_.switchOffAfter) {
    fail(named("switchOffAfter") + " is " + std::to_string(p_.switchOffAfter) + ", after the last step (steps = " +
         std::to_string(p_.steps) + ")");
  }
  if (p_.edition == 2 && !p_.rateFactor && factorCanMatter(p_)) {
    fail("missing switch-rate factor, e.g. '" + std::string(p_.name) + " 1.0' (see --help)");
  }
  return p_;
}

namespace {

std::string groupTitle(std::string_view group) {
  if (group == "sorc") return "the input units, driven by the stimuli; their values are given, not drawn";
  if (group == "rsvr") return "the reservoir; its keys are described under [sorc]";
  return "the output units; their keys are described under [sorc]";
}

std::string valueText(long v) { return std::to_string(v); }
std::string valueText(int v) { return std::to_string(v); }
std::string valueText(float v) { return realText(v); }
std::string valueText(double v) { return realText(v); }
std::string valueText(bool v) { return v ? "true" : "false"; }
std::string valueText(const Range& r) { return "[" + realText(r.lo) + ", " + realText(r.hi) + "]"; }
std::string valueText(Stimulus s) { return "\"" + std::string(choiceName(s)) + "\""; }
std::string valueText(DelayDraw d) { return "\"" + std::string(choiceName(d)) + "\""; }

}  // namespace

std::string settingsToml(const ProgramSettings& p, const ProgramSettings& row, std::string_view title) {
  std::string out;
  out += "# " + std::string(title) + "\n";
  out += "# Read back with --params FILE; any key can also be given as --set KEY=VALUE.\n";
  out += "# A value that is not the program's own shows the program's in its comment.\n";
  std::string_view section;
  // Walks both rows side by side: the same keys come in the same order.
  std::vector<std::string> defaults;
  forEachSetting(row, [&](const Key&, const auto& field) {
    if constexpr (std::is_same_v<std::decay_t<decltype(field)>, std::optional<float>>) {
      defaults.push_back(field ? valueText(*field) : std::string("not set"));
    } else {
      defaults.push_back(valueText(field));
    }
  });
  // A group's fields are described once, under the first group.
  std::vector<std::string_view> described;
  std::size_t index = 0;
  forEachSetting(p, [&](const Key& key, const auto& field) {
    const std::string& programValue = defaults[index++];
    if (key.group != section) {
      section = key.group;
      out += "\n[" + std::string(section) + "]  # " + groupTitle(section) + "\n";
    }
    const bool describe =
        key.group.empty() || std::find(described.begin(), described.end(), key.field) == described.end();
    if (describe) {
      if (!key.group.empty()) described.push_back(key.field);
      out += "\n# " + std::string(key.help);
      if (key.edition2Effect && p.edition != 2) out += " (no effect in this program)";
      out += "\n";
    }
    std::string text;
    if constexpr (std::is_same_v<std::decay_t<decltype(field)>, std::optional<float>>) {
      if (!field) {
        out += "# " + std::string(key.field) + " is not set: while no group switches, it cannot change the run\n";
        return;
      }
      text = valueText(*field);
    } else {
      text = valueText(field);
    }
    out += std::string(key.field) + " = " + text;
    if (text != programValue) out += "  # " + std::string(row.name) + ": " + programValue;
    out += "\n";
  });
  return out;
}

}  // namespace net1::drivers
