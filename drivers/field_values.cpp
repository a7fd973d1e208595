#include "field_values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace net1::drivers {
namespace {

// The allowed values of a field, as its message states them.
std::string checkProblem(Check check, double value) {
  switch (check) {
    case Check::Finite:
    case Check::Flag: return "";
    case Check::NonNegative: return value >= 0 ? "" : "must not be negative";
    case Check::Positive: return value > 0 ? "" : "must be above 0";
    case Check::Probability: return value >= 0 && value <= 1 ? "" : "must be a probability, from 0 to 1";
    case Check::GroupSize:
      return value >= 1 && value <= kMaxGroupSize ? "" : "must be a whole number from 1 to 1000000";
    case Check::StepCount:
      return value >= 0 && value <= kMaxSteps ? "" : "must be a whole number from 0 to 1000000000";
    case Check::Edition: return value == 1 || value == 2 ? "" : "must be 1 or 2";
  }
  return "";
}

std::string readReal(const Field& field, const toml::node& node, double& out) {
  if (const auto* i = node.as_integer()) {
    out = static_cast<double>(i->get());
  } else if (const auto* f = node.as_floating_point()) {
    out = f->get();
  } else {
    return "must be a number";
  }
  if (!std::isfinite(out)) return "must be a finite number";
  return checkProblem(field.check, out);
}

std::string readFloat(const Field& field, const toml::node& node, float& out) {
  double value = 0;
  if (std::string problem = readReal(field, node, value); !problem.empty()) return problem;
  // Beyond FLT_MAX and half a unit in its last place, rounding gives infinity.
  if (std::fabs(value) >= 0x1.ffffffp+127) return "is too large for single precision (at most 3.4028235e38)";
  out = static_cast<float>(value);
  return "";
}

template <class Whole>
std::string readWhole(const Field& field, const toml::node& node, Whole& out) {
  const auto* i = node.as_integer();
  if (!i) {
    std::string problem = checkProblem(field.check, -1.0);  // every whole-number field excludes -1
    return problem.empty() ? "must be a whole number" : problem;
  }
  if (std::string problem = checkProblem(field.check, static_cast<double>(i->get())); !problem.empty()) return problem;
  out = static_cast<Whole>(i->get());
  return "";
}

std::string readRange(const Field& field, const toml::node& node, Range& out) {
  const auto* array = node.as_array();
  const std::string shape = "must be a range [lo, hi] of two numbers";
  if (!array || array->size() != 2) return shape;
  Range r;
  for (int end = 0; end < 2; ++end) {
    const toml::node* item = array->get(static_cast<std::size_t>(end));
    if (!item->is_number()) return shape;
    if (std::string problem = readFloat(field, *item, end == 0 ? r.lo : r.hi); !problem.empty()) return problem;
  }
  if (r.lo > r.hi) return "is a range whose low end is above its high end";
  out = r;
  return "";
}

template <class Choice, std::size_t N>
std::string readChoice(const toml::node& node, Choice& out, const Choice (&choices)[N]) {
  std::string names;
  for (std::size_t i = 0; i < N; ++i) {
    if (const auto* s = node.as_string(); s && s->get() == choiceName(choices[i])) {
      out = choices[i];
      return "";
    }
    names += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + "\"" + std::string(choiceName(choices[i])) + "\"";
  }
  return "must be " + names;
}

constexpr ConnectionRule kRules[] = {ConnectionRule::pairwise, ConnectionRule::fixed, ConnectionRule::list};
constexpr DelayDraw kDelayDraws[] = {DelayDraw::exponential, DelayDraw::uniform};
constexpr StimulusKind kStimuli[] = {StimulusKind::random, StimulusKind::cyclic, StimulusKind::xor_};
constexpr Generator kGenerators[] = {Generator::mt19937_64, Generator::lcg15};

// TOML reads "1" as a whole number and "1e-06" or "0.5" as a real one.
std::string asReal(const char* begin, const char* end) {
  std::string text(begin, end);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";  // "n": inf, nan
  return text;
}

}  // namespace

std::string readValue(const Field& f, const toml::node& n, long& out) { return readWhole(f, n, out); }
std::string readValue(const Field& f, const toml::node& n, int& out) {
  long value = 0;
  if (std::string problem = readWhole(f, n, value); !problem.empty()) return problem;
  out = static_cast<int>(value);
  return "";
}
std::string readValue(const Field& f, const toml::node& n, float& out) { return readFloat(f, n, out); }
std::string readValue(const Field& f, const toml::node& n, double& out) { return readReal(f, n, out); }

std::string readValue(const Field&, const toml::node& n, bool& out) {
  const auto* b = n.as_boolean();
  if (!b) return "must be true or false";
  out = b->get();
  return "";
}

std::string readValue(const Field& f, const toml::node& n, std::uint8_t& out) {
  bool on = false;
  if (std::string problem = readValue(f, n, on); !problem.empty()) return problem;
  out = on ? 1 : 0;
  return "";
}

std::string readValue(const Field& f, const toml::node& n, std::optional<float>& out) {
  float value = 0;
  if (std::string problem = readFloat(f, n, value); !problem.empty()) return problem;
  out = value;
  return "";
}

std::string readValue(const Field& f, const toml::node& n, Range& out) { return readRange(f, n, out); }

std::string readValue(const Field& f, const toml::node& n, UnitValue& out) {
  UnitValue v;
  if (n.is_array()) {
    v.drawn = true;
    if (std::string problem = readRange(f, n, v.range); !problem.empty()) return problem;
  } else if (n.is_number()) {
    if (std::string problem = readFloat(f, n, v.value); !problem.empty()) return problem;
  } else {
    return "must be a number, or a range [lo, hi] to draw from";
  }
  out = v;
  return "";
}

std::string readValue(const Field&, const toml::node& n, UnitKind& out) {
  UnitKind k;
  if (const auto* b = n.as_boolean()) {
    k.excitatory = b->get();
  } else if (n.is_number()) {
    k.drawn = true;
    if (std::string problem = readFloat(Field{"excitatory", "", Check::Probability}, n, k.probability);
        !problem.empty()) {
      return problem;
    }
  } else {
    return "must be true or false, or a probability to draw with";
  }
  out = k;
  return "";
}

std::string readValue(const Field&, const toml::node& n, std::string& out) {
  const auto* s = n.as_string();
  if (!s) return "must be a name in quotes";
  out = s->get();
  return "";
}

std::string readValue(const Field&, const toml::node& n, ConnectionRule& out) { return readChoice(n, out, kRules); }
std::string readValue(const Field&, const toml::node& n, DelayDraw& out) { return readChoice(n, out, kDelayDraws); }
std::string readValue(const Field&, const toml::node& n, StimulusKind& out) { return readChoice(n, out, kStimuli); }
std::string readValue(const Field&, const toml::node& n, Generator& out) { return readChoice(n, out, kGenerators); }

std::string readValue(const Field&, const toml::node& n, std::vector<std::uint32_t>& out) {
  const auto* array = n.as_array();
  if (!array) return "must be a list of unit ids [0, 1, ...]";
  std::vector<std::uint32_t> ids;
  ids.reserve(array->size());
  for (const toml::node& item : *array) {
    const auto* i = item.as_integer();
    if (!i || i->get() < 0 || i->get() >= kMaxGroupSize) return "must be a list of unit ids, whole numbers from 0 to 999999";
    ids.push_back(static_cast<std::uint32_t>(i->get()));
  }
  out = std::move(ids);
  return "";
}

std::string readValue(const Field& f, const toml::node& n, std::vector<float>& out) {
  const auto* array = n.as_array();
  if (!array) return "must be a list of numbers [0.5, 1.0, ...]";
  std::vector<float> values;
  values.reserve(array->size());
  for (const toml::node& item : *array) {
    float v = 0;
    if (std::string problem = readFloat(f, item, v); !problem.empty()) return "holds a value that " + problem;
    values.push_back(v);
  }
  out = std::move(values);
  return "";
}

std::string realText(double value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return asReal(buf, r.ptr);
}

std::string realText(float value) {
  // The shortest text for a float reads back as that float when read as a
  // float; a reader that reads a double first and then rounds it to single
  // precision may, in rare cases, land on the neighbour. Those get the
  // double's text, which reads back exactly.
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  *r.ptr = '\0';
  if (static_cast<float>(std::strtod(buf, nullptr)) == value || value != value) return asReal(buf, r.ptr);
  return realText(static_cast<double>(value));
}

std::string valueText(long v) { return std::to_string(v); }
std::string valueText(int v) { return std::to_string(v); }
std::string valueText(float v) { return realText(v); }
std::string valueText(double v) { return realText(v); }
std::string valueText(bool v) { return v ? "true" : "false"; }
std::string valueText(std::uint8_t v) { return valueText(v != 0); }
std::string valueText(const std::optional<float>& v) { return v ? realText(*v) : std::string(); }
std::string valueText(const Range& r) { return "[" + realText(r.lo) + ", " + realText(r.hi) + "]"; }
std::string valueText(const UnitValue& v) { return v.drawn ? valueText(v.range) : realText(v.value); }
std::string valueText(const UnitKind& v) { return v.drawn ? realText(v.probability) : valueText(v.excitatory); }
std::string valueText(const std::string& v) {
  // Names hold letters, digits, '_' and '-' only: nothing to escape.
  return "\"" + v + "\"";
}
std::string valueText(ConnectionRule v) { return "\"" + std::string(choiceName(v)) + "\""; }
std::string valueText(DelayDraw v) { return "\"" + std::string(choiceName(v)) + "\""; }
std::string valueText(StimulusKind v) { return "\"" + std::string(choiceName(v)) + "\""; }
std::string valueText(Generator v) { return "\"" + std::string(choiceName(v)) + "\""; }

std::string valueText(const std::vector<std::uint32_t>& v) {
  std::string text = "[";
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (i) text += ", ";
    text += std::to_string(v[i]);
  }
  return text + "]";
}
std::string valueText(const std::vector<float>& v) {
  std::string text = "[";
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (i) text += ", ";
    text += realText(v[i]);
  }
  return text + "]";
}

Json valueJson(long v) { return v; }
Json valueJson(int v) { return v; }
Json valueJson(float v) { return std::strtod(realText(v).c_str(), nullptr); }
Json valueJson(double v) { return v; }
Json valueJson(bool v) { return v; }
Json valueJson(std::uint8_t v) { return v != 0; }
Json valueJson(const std::optional<float>& v) { return v ? valueJson(*v) : Json(nullptr); }
Json valueJson(const Range& r) { return Json::array({valueJson(r.lo), valueJson(r.hi)}); }
Json valueJson(const UnitValue& v) { return v.drawn ? valueJson(v.range) : valueJson(v.value); }
Json valueJson(const UnitKind& v) { return v.drawn ? valueJson(v.probability) : Json(v.excitatory); }
Json valueJson(const std::string& v) { return v; }
Json valueJson(ConnectionRule v) { return std::string(choiceName(v)); }
Json valueJson(DelayDraw v) { return std::string(choiceName(v)); }
Json valueJson(StimulusKind v) { return std::string(choiceName(v)); }
Json valueJson(Generator v) { return std::string(choiceName(v)); }
Json valueJson(const std::vector<std::uint32_t>& v) { return v; }
Json valueJson(const std::vector<float>& v) {
  Json a = Json::array();
  for (float x : v) a.push_back(valueJson(x));
  return a;
}

std::string nodeText(const toml::node& node) {
  if (const auto* f = node.as_floating_point()) return realText(f->get());  // the shortest text that reads back
  std::ostringstream out;
  node.visit([&](const auto& value) { out << value; });
  return out.str();
}

}  // namespace net1::drivers
