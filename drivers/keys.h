// The settings keys of a description: every field of every part is a key.
// A group's field is GROUP.FIELD, a pathway's LABEL.FIELD (FROM->TO unless
// it has a name), a stimulus's NAME.FIELD, and the run's its name alone (or
// run.FIELD). A field's name alone also sets that field in every group,
// pathway and stimulus that has it: the shorthand of the nine programs'
// settings, where `threshold` sets the drawn thresholds and
// `connectionProb` every pathway's probability.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "description.h"

namespace net1::drivers {

// For the head of every file that lists a description's keys.
inline constexpr std::string_view kKeysHelp =
    "# Every field below is also a settings key, for --set KEY=VALUE and for settings files:\n"
    "# a group's field is GROUP.FIELD (rsvr.switchProb), a pathway's FROM->TO.FIELD or, when it\n"
    "# has a name, NAME.FIELD (rsvr->sink.probability), a stimulus's NAME.FIELD (input.interval),\n"
    "# and the run's FIELD alone (steps). A field's name alone sets it in every group, pathway and\n"
    "# stimulus that has it (a unit value only where it is drawn, and as a range);\n"
    "# connectionProb, connectionsPerUnit, stimulus and excitatoryProb are the names by which the\n"
    "# nine programs' settings set probability, perUnit, kind and excitatory that way.\n";

// The field that an older shorthand name sets; the name itself otherwise.
std::string_view shorthandField(std::string_view name);

// Calls visit(key, field, value) for every key of `d`, in the order
// --print-params lists them: the run's, then each group's, each pathway's
// and each stimulus's.
template <class D, class Visit>
void forEachKey(D& d, Visit&& visit) {
  forEachField(d.run, [&](const Field& f, auto& v) { visit(std::string(f.name), f, v); });
  for (auto& g : d.groups) {
    forEachField(g, [&](const Field& f, auto& v) { visit(g.name + "." + std::string(f.name), f, v); });
  }
  for (auto& p : d.pathways) {
    forEachField(p, [&](const Field& f, auto& v) { visit(p.label() + "." + std::string(f.name), f, v); });
  }
  for (auto& s : d.stimuli) {
    forEachField(s, [&](const Field& f, auto& v) { visit(s.name + "." + std::string(f.name), f, v); });
  }
}

// Calls fn(key, field, value) for every field that `name` sets: the one
// field of that key, or for a field's name alone that field of every part
// that has it (not a group's size; a unit value only where it is drawn).
// Returns how many; 0 for a key that sets nothing.
template <class D, class Fn>
std::size_t forKey(D& d, std::string_view name, Fn&& fn) {
  std::string key(name.substr(0, 4) == "run." ? name.substr(4) : name);
  std::size_t n = 0;
  forEachKey(d, [&](const std::string& k, const Field& f, auto& v) {
    if (k == key) fn(k, f, v), ++n;
  });
  if (n > 0 || key.find('.') != std::string::npos) return n;
  const std::string_view field = shorthandField(key);
  auto each = [&](const std::string& prefix) {
    return [&, prefix](const Field& f, auto& v) {
      using T = std::remove_const_t<std::remove_reference_t<decltype(v)>>;
      if (f.name != field || f.name == "size") return;
      if constexpr (std::is_same_v<T, UnitValue> || std::is_same_v<T, UnitKind>) {
        if (!v.drawn) return;
      }
      fn(prefix + std::string(f.name), f, v);
      ++n;
    };
  };
  for (auto& g : d.groups) forEachField(g, each(g.name + "."));
  for (auto& p : d.pathways) forEachField(p, each(p.label() + "."));
  for (auto& s : d.stimuli) forEachField(s, each(s.name + "."));
  return n;
}

// The nearest of `names` to `unknown`, as a hint for its message ("did you
// mean ...?"), or empty when none is near.
std::string nearestName(std::string_view unknown, const std::vector<std::string_view>& names);
// The nearest key of `d` (or shorthand name) to an unknown one.
std::string nearestKey(std::string_view unknown, const Description& d);

}  // namespace net1::drivers
