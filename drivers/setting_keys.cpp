#include "setting_keys.h"

#include <charconv>
#include <cstdlib>
#include <string>

namespace net1::drivers {

std::string keyName(const Key& key) {
  if (key.group.empty()) return std::string(key.field);
  std::string name(key.group);
  name += '.';
  name += key.field;
  return name;
}

bool isEdition2Key(std::string_view name) { return name == "rateFactor" || name == "startActive"; }

std::string_view choiceName(Stimulus s) {
  switch (s) {
    case Stimulus::RandomUnit: return "random";
    case Stimulus::Cyclic: return "cyclic";
    case Stimulus::XorPatterns: return "xor";
  }
  return "?";
}

std::string_view choiceName(DelayDraw d) { return d == DelayDraw::Uniform ? "uniform" : "exponential"; }

namespace {

// TOML reads "1" as a whole number and "1e-06" or "0.5" as a real one.
std::string asReal(const char* begin, const char* end) {
  std::string text(begin, end);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";  // "n": inf, nan
  return text;
}

}  // namespace

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

}  // namespace net1::drivers
