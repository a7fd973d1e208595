#include "settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <type_traits>

#include "description_checks.h"
#include "description_file.h"
#include "field_values.h"
#include "keys.h"
#include "options.h"

namespace net1::drivers {
namespace {

template <class T>
constexpr bool isChoice = std::is_enum_v<T>;
template <class T>
constexpr bool isRange = std::is_same_v<T, Range> || std::is_same_v<T, UnitValue>;
template <class T>
constexpr bool isNumber = std::is_arithmetic_v<T> || std::is_same_v<T, std::optional<float>> || std::is_same_v<T, UnitKind>;

// A run record's description and settings, as a TOML document: JSON's
// objects become tables, its arrays arrays, and null is left out.
toml::table tableFromJson(const Json& object);
toml::array arrayFromJson(const Json& array) {
  toml::array out;
  for (const Json& item : array) {
    if (item.is_object()) {
      out.push_back(tableFromJson(item));
    } else if (item.is_array()) {
      out.push_back(arrayFromJson(item));
    } else if (item.is_boolean()) {
      out.push_back(item.get<bool>());
    } else if (item.is_number_integer()) {
      out.push_back(item.get<std::int64_t>());
    } else if (item.is_number()) {
      out.push_back(item.get<double>());
    } else if (item.is_string()) {
      out.push_back(item.get<std::string>());
    }
  }
  return out;
}
toml::table tableFromJson(const Json& object) {
  toml::table out;
  for (auto it = object.begin(); it != object.end(); ++it) {
    const Json& v = it.value();
    if (v.is_object()) {
      out.insert(it.key(), tableFromJson(v));
    } else if (v.is_array()) {
      out.insert(it.key(), arrayFromJson(v));
    } else if (v.is_boolean()) {
      out.insert(it.key(), v.get<bool>());
    } else if (v.is_number_integer()) {
      out.insert(it.key(), v.get<std::int64_t>());
    } else if (v.is_number()) {
      out.insert(it.key(), v.get<double>());
    } else if (v.is_string()) {
      out.insert(it.key(), v.get<std::string>());
    }
  }
  return out;
}

}  // namespace

std::string readSettingsFile(const std::string& path) {
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
    if (text.size() > kMaxSettingsFileSize) {
      ::close(fd);
      throw UsageError("settings file " + path + " is larger than 1 MiB: not a settings file");
    }
  }
  ::close(fd);
  return text;
}

SettingsBuilder::SettingsBuilder(Description base, std::string baseName)
    : base_(base), baseName_(std::move(baseName)), d_(std::move(base)) {}

void SettingsBuilder::load(Description d, std::string name, std::map<std::string, std::string> origins) {
  base_ = d;
  d_ = std::move(d);
  baseName_ = std::move(name);
  origins_ = std::move(origins);
}

UsageError SettingsBuilder::unknownKey(const std::string& key, std::string_view where) const {
  if (d_.run.edition != 2 && key == "rateFactor") {
    return UsageError(std::string(where) + ": rateFactor is read by the edition-2 engine only (the XOR programs)");
  }
  const std::string hint = nearestKey(key, d_);
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
  const bool plain = key.find('.') == std::string::npos;
  const std::size_t n = forKey(d_, key, [&](const std::string& k, const Field& field, auto& value) {
    using T = std::remove_reference_t<decltype(value)>;
    if (!problem.empty()) return;
    // A shorthand sets what is drawn, and keeps it drawn.
    if constexpr (std::is_same_v<T, UnitValue>) {
      if (plain && !node.is_array()) {
        problem = "must be a range [lo, hi]: it sets the drawn " + std::string(field.name) + " of every group";
        return;
      }
    } else if constexpr (std::is_same_v<T, UnitKind>) {
      if (plain && !node.is_number()) {
        problem = "must be a probability: it sets the drawn excitatory of every group";
        return;
      }
    }
    problem = readValue(field, node, value);
    if (problem.empty()) origins_[k] = std::string(where);
  });
  if (n == 0) throw unknownKey(key, where);
  if (!problem.empty()) throw UsageError(std::string(where) + ": " + key + " " + problem + ", got " + clip(text));
  origins_[key] = std::string(where);
}

void SettingsBuilder::readFile(const std::string& path, bool whole) {
  const std::string text = readSettingsFile(path);
  if (text.find_first_not_of(" \t\r\n") != std::string::npos && text[text.find_first_not_of(" \t\r\n")] == '{') {
    // A run record: its description, seed and kinds of line.
    Json record;
    try {
      record = Json::parse(text);
    } catch (const Json::exception& e) {
      throw UsageError(path + ": not a run record: " + clip(e.what()));
    }
    if (!record.is_object() || !record.contains("description") || !record["description"].is_object() ||
        !record.contains("seed") || !record["seed"].is_number_unsigned()) {
      throw UsageError(path + ": not a run record of this version (no description and seed)");
    }
    RecordedRun run;
    run.path = path;
    run.seed = record["seed"].get<std::uint32_t>();
    if (record.contains("record") && record["record"].is_array()) {
      for (const Json& kind : record["record"]) {
        if (kind.is_string()) run.record.push_back(kind.get<std::string>());
      }
    }
    if (record.contains("commit") && record["commit"].is_string()) run.commit = record["commit"].get<std::string>();
    if (record.contains("program") && record["program"].is_string()) run.program = record["program"].get<std::string>();
    std::map<std::string, std::string> origins;
    Description d = readDescription(tableFromJson(record["description"]), path, &origins);
    for (auto& [key, where] : origins) where = path;  // a record's lines say nothing
    load(std::move(d), path, std::move(origins));
    recorded_ = std::move(run);
    return;
  }
  toml::table table = parseToml(text, path);
  if (isDescription(table)) {
    std::map<std::string, std::string> origins;
    Description d = readDescription(table, path, &origins);
    load(std::move(d), path, std::move(origins));
    return;
  }
  if (whole) throw UsageError(path + ": not a network description: it has no group ([[group]])");
  // Keys in a table are its name, a dot and theirs: GROUP.FIELD. No key
  // has two dots, so a table within a table is an unknown key.
  for (auto&& [k, v] : table) {
    const std::string name(k.str());
    const toml::table* part = v.as_table();
    if (!part) {
      assign(name, v, nodeText(v), path + ":" + std::to_string(v.source().begin.line));
      continue;
    }
    for (auto&& [field, value] : *part) {
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

  // The value is read as TOML reads it; a choice may be a bare word, a
  // range may leave out its brackets, and a number be written as a person
  // writes it.
  auto parsed = [](const std::string& text) -> std::optional<toml::table> {
    try {
      toml::table t = toml::parse("v = " + text);
      if (t.size() == 1 && t.contains("v")) return t;
    } catch (const toml::parse_error&) {
    }
    return std::nullopt;
  };
  std::optional<toml::table> t = parsed(value);
  const std::size_t known = forKey(d_, key, [&](const std::string&, const Field&, auto& field) {
    using T = std::remove_cvref_t<decltype(field)>;
    if constexpr (isChoice<T> || std::is_same_v<T, std::string>) {
      if (!t || !t->get("v")->is_string()) {
        t = toml::table{};
        t->insert("v", value);
      }
    } else if constexpr (isRange<T>) {
      if (!t || (!t->get("v")->is_array() && !t->get("v")->is_number())) {
        if (auto bracketed = parsed("[" + value + "]")) t = std::move(bracketed);
      }
    }
    if constexpr (isNumber<T> || isRange<T>) {
      if (!t || (!t->get("v")->is_number() && !t->get("v")->is_array())) {
        if (const std::optional<double> number = parseDecimal(value.c_str())) {
          t = toml::table{};
          t->insert("v", *number);
        }
      }
    }
  });
  if (known == 0) throw unknownKey(key, at);
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

const Description& SettingsBuilder::finish(const std::string& missingFactor) {
  checkDescription(
      d_, base_,
      [&](const std::string& key) {
        const std::string from = origin(key);
        return from.empty() ? key : key + " (" + from + ")";
      },
      missingFactor);
  return d_;
}

}  // namespace net1::drivers
