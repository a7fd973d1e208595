#include "description_file.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <type_traits>

#include "field_values.h"
#include "keys.h"
#include "usage_error.h"

namespace net1::drivers {
namespace {

std::string lineOf(const std::string& source, const toml::node& node) {
  return source + ":" + std::to_string(node.source().begin.line);
}

[[noreturn]] void refuse(const std::string& where, const std::string& what) { throw UsageError(where + ": " + what); }

// Reads the fields of one part from its table: every field it gives, each
// checked, and every field it must give. A key that is no field is refused
// with the nearest field suggested.
template <class Spec>
void readFields(const toml::table& table, Spec& spec, const std::string& prefix, const std::string& source,
                std::initializer_list<std::string_view> identity, std::map<std::string, std::string>* origins) {
  std::vector<std::string_view> names(identity);
  forEachField(spec, [&](const Field& field, auto& value) {
    names.push_back(field.name);
    const toml::node* node = table.get(field.name);
    const std::string key = prefix + std::string(field.name);
    if (!node) {
      if (field.required) refuse(lineOf(source, table), key + " is missing: it must be given");
      return;
    }
    if (std::string problem = readValue(field, *node, value); !problem.empty()) {
      refuse(lineOf(source, *node), key + " " + problem + ", got " + clip(nodeText(*node)));
    }
    if (origins) (*origins)[key] = lineOf(source, *node);
  });
  for (auto&& [k, v] : table) {
    const std::string_view name = k.str();
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    const std::string hint = nearestName(name, names);
    refuse(lineOf(source, v), "unknown key '" + clip(prefix + std::string(name)) + "'" +
                                  (hint.empty() ? "" : " (did you mean " + prefix + hint + "?)"));
  }
}

std::string readName(const toml::table& table, std::string_view field, const std::string& what,
                     const std::string& source, bool required) {
  const toml::node* node = table.get(field);
  if (!node) {
    if (required) refuse(lineOf(source, table), what + " has no " + std::string(field));
    return "";
  }
  const auto* s = node->as_string();
  if (!s) refuse(lineOf(source, *node), what + ": " + std::string(field) + " must be a name in quotes");
  if (!isValidName(s->get())) {
    refuse(lineOf(source, *node), what + ": " + std::string(field) + " '" + clip(s->get()) +
                                      "' is not a name: 1 to 70 letters, digits, '_' and '-', not starting with '-'");
  }
  return s->get();
}

const toml::array* tables(const toml::table& document, std::string_view name, const std::string& source) {
  const toml::node* node = document.get(name);
  if (!node) return nullptr;
  const toml::array* array = node->as_array();
  if (!array || !array->is_array_of_tables()) {
    refuse(lineOf(source, *node), std::string(name) + " must be a list of tables, each under [[" +
                                      std::string(name) + "]]");
  }
  return array;
}

}  // namespace

bool isValidName(std::string_view name) {
  if (name.empty() || name.size() > kMaxGroupName || name[0] == '-') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
  });
}

bool isDescription(const toml::table& document) { return document.contains("group"); }

toml::table parseToml(std::string_view text, const std::string& source) {
  try {
    return toml::parse(text, source);
  } catch (const toml::parse_error& e) {
    throw UsageError(source + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description()));
  }
}

Description parseDescription(std::string_view text, const std::string& source) {
  return readDescription(parseToml(text, source), source);
}

Description readDescription(const toml::table& document, const std::string& source,
                            std::map<std::string, std::string>* origins) {
  Description d;
  for (auto&& [k, v] : document) {
    const std::string_view name = k.str();
    if (name != "run" && name != "group" && name != "pathway" && name != "stimulus") {
      const std::string hint = nearestName(name, {"run", "group", "pathway", "stimulus"});
      refuse(lineOf(source, v), "unknown key '" + clip(name) +
                                    "': a description has [run], [[group]], [[pathway]] and [[stimulus]]" +
                                    (hint.empty() ? "" : " (did you mean " + hint + "?)"));
    }
  }
  const toml::node* run = document.get("run");
  if (!run || !run->is_table()) refuse(source + ":1", "a description needs a [run] table, with its steps");
  readFields(*run->as_table(), d.run, "", source, {}, origins);

  // Groups, pathways and stimuli share one space of names: keys address them all.
  std::set<std::string> names{"run"};
  auto claim = [&](const std::string& name, const toml::node& at, const std::string& what) {
    if (!names.insert(name).second) {
      refuse(lineOf(source, at), what + " '" + name + "': the name is taken (by a group, a pathway or a stimulus" +
                                     std::string(name == "run" ? ", or the run" : "") + ")");
    }
  };
  const toml::array* groups = tables(document, "group", source);
  if (!groups || groups->empty()) refuse(source + ":1", "a description needs at least one group, under [[group]]");
  for (const toml::node& node : *groups) {
    const toml::table& t = *node.as_table();
    GroupSpec g;
    g.name = readName(t, "name", "a group", source, true);
    claim(g.name, t, "group");
    readFields(t, g, g.name + ".", source, {"name"}, origins);
    d.groups.push_back(std::move(g));
  }
  if (const toml::array* pathways = tables(document, "pathway", source)) {
    for (const toml::node& node : *pathways) {
      const toml::table& t = *node.as_table();
      PathwaySpec p;
      p.name = readName(t, "name", "a pathway", source, false);
      p.from = readName(t, "from", "a pathway", source, true);
      p.to = readName(t, "to", "a pathway", source, true);
      for (const std::string* end : {&p.from, &p.to}) {
        if (!d.group(*end)) {
          refuse(lineOf(source, *t.get(end == &p.from ? "from" : "to")),
                 "pathway " + p.label() + ": there is no group '" + *end + "'");
        }
      }
      if (p.name.empty() && names.count(p.label())) {
        refuse(lineOf(source, t), "a second pathway from " + p.from + " to " + p.to +
                                      ": give each a name, by which keys address it");
      }
      claim(p.label(), t, "pathway");
      readFields(t, p, p.label() + ".", source, {"name", "from", "to"}, origins);
      const bool pairwise = p.rule == ConnectionRule::pairwise;
      if (p.rule != ConnectionRule::list &&
          (pairwise ? !t.contains("probability") && !t.contains("perUnit") : !t.contains("perUnit"))) {
        refuse(lineOf(source, t), p.label() + (pairwise ? " needs its probability (or perUnit)" : " needs its perUnit"));
      }
      if (p.rule != ConnectionRule::list && p.delayDistribution == DelayDraw::exponential && !t.contains("delayScale")) {
        refuse(lineOf(source, t), p.label() + ".delayScale is missing: exponential delays need it");
      }
      d.pathways.push_back(std::move(p));
    }
  }
  if (const toml::array* stimuli = tables(document, "stimulus", source)) {
    for (const toml::node& node : *stimuli) {
      const toml::table& t = *node.as_table();
      StimulusSpec s;
      s.name = readName(t, "name", "a stimulus", source, false);
      if (s.name.empty()) s.name = "stimulus" + std::to_string(d.stimuli.size() + 1);
      claim(s.name, t, "stimulus");
      readFields(t, s, s.name + ".", source, {"name"}, origins);
      d.stimuli.push_back(std::move(s));
    }
  }
  return d;
}

namespace {

// Fields are described once, where first met.
class Writer {
 public:
  Writer(const Description& base, std::string_view baseName) : base_(base), baseName_(baseName) {}

  template <class Spec>
  void fields(const Spec& spec, const Spec* base) {
    std::vector<std::string> baseValues;
    if (base) forEachField(*base, [&](const Field&, const auto& v) { baseValues.push_back(valueText(v)); });
    std::size_t index = 0;
    forEachField(spec, [&](const Field& field, const auto& value) {
      const std::string text = valueText(value);
      const std::string* was = base && index < baseValues.size() ? &baseValues[index] : nullptr;
      ++index;
      if (std::find(described_.begin(), described_.end(), field.name) == described_.end()) {
        described_.push_back(field.name);
        out += "# " + std::string(field.help);
        if (field.edition2 && edition_ != 2) out += " (no effect in edition 1)";
        out += "\n";
      }
      if (text.empty()) {  // an optional value that is not set
        out += "# " + std::string(field.name) + " is not set: while no group switches, it cannot change the run\n";
        return;
      }
      out += std::string(field.name) + " = " + text;
      if (was && *was != text) out += "  # " + std::string(baseName_) + ": " + (was->empty() ? "not set" : *was);
      out += "\n";
    });
  }

  void run(const RunSpec& r) {
    edition_ = r.edition;
    out += "\n[run]\n";
    fields(r, &base_.run);
  }
  void group(const GroupSpec& g) {
    out += "\n[[group]]\nname = " + valueText(g.name) + "\n";
    fields(g, base_.group(g.name));
  }
  void pathway(const PathwaySpec& p) {
    out += "\n[[pathway]]\n";
    if (!p.name.empty()) out += "name = " + valueText(p.name) + "\n";
    out += "from = " + valueText(p.from) + "\nto = " + valueText(p.to) + "\n";
    const PathwaySpec* was = nullptr;
    for (const PathwaySpec& b : base_.pathways) {
      if (b.label() == p.label()) was = &b;
    }
    fields(p, was);
  }
  void stimulus(const StimulusSpec& s) {
    out += "\n[[stimulus]]\nname = " + valueText(s.name) + "\n";
    const StimulusSpec* was = nullptr;
    for (const StimulusSpec& b : base_.stimuli) {
      if (b.name == s.name) was = &b;
    }
    fields(s, was);
  }

  std::string out;

 private:
  const Description& base_;
  std::string_view baseName_;
  std::vector<std::string_view> described_;
  int edition_ = 1;
};

}  // namespace

std::string descriptionToml(const Description& d, const Description& base, std::string_view baseName,
                            std::string_view title) {
  Writer w(base, baseName);
  w.out += "# " + std::string(title) + "\n";
  w.out += std::string(kKeysHelp);
  w.run(d.run);
  for (const GroupSpec& g : d.groups) w.group(g);
  for (const PathwaySpec& p : d.pathways) w.pathway(p);
  for (const StimulusSpec& s : d.stimuli) w.stimulus(s);
  return w.out;
}

}  // namespace net1::drivers
