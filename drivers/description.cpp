#include "description.h"

namespace net1::drivers {

const GroupSpec* Description::group(std::string_view name) const {
  for (const GroupSpec& g : groups) {
    if (g.name == name) return &g;
  }
  return nullptr;
}

std::string_view choiceName(ConnectionRule r) {
  switch (r) {
    case ConnectionRule::pairwise: return "pairwise";
    case ConnectionRule::fixed: return "fixed";
    case ConnectionRule::list: return "list";
  }
  return "?";
}
std::string_view choiceName(DelayDraw d) { return d == DelayDraw::uniform ? "uniform" : "exponential"; }
std::string_view choiceName(Generator g) { return g == Generator::lcg15 ? "lcg15" : "mt19937_64"; }

std::string_view choiceName(StimulusKind k) {
  switch (k) {
    case StimulusKind::random: return "random";
    case StimulusKind::cyclic: return "cyclic";
    case StimulusKind::xor_: return "xor";
  }
  return "?";
}

bool factorCanMatter(const Description& d) {
  bool drawsSwitch = false;
  bool switches = false;
  for (const GroupSpec& g : d.groups) {
    drawsSwitch = drawsSwitch || g.parameters.switchProb > 0;
    switches = switches || g.parameters.switching;
  }
  return drawsSwitch && switches;
}

}  // namespace net1::drivers
