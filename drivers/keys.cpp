#include "keys.h"

#include <algorithm>
#include <cctype>

namespace net1::drivers {
namespace {

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

}  // namespace

std::string_view shorthandField(std::string_view name) {
  if (name == "connectionProb") return "probability";
  if (name == "connectionsPerUnit") return "perUnit";
  if (name == "stimulus") return "kind";
  if (name == "excitatoryProb") return "excitatory";
  return name;
}

std::string nearestName(std::string_view unknown, const std::vector<std::string_view>& names) {
  const std::string wanted = lower(unknown);
  std::string best;
  std::size_t bestDistance = std::max<std::size_t>(2, wanted.size() / 3) + 1;
  for (std::string_view name : names) {
    const std::size_t d = editDistance(wanted, lower(name));
    if (d < bestDistance) {
      best = name;
      bestDistance = d;
    }
  }
  return best;
}

std::string nearestKey(std::string_view unknown, const Description& d) {
  std::vector<std::string> keys;
  forEachKey(d, [&](const std::string& key, const Field& field, const auto&) {
    keys.push_back(key);
    keys.emplace_back(field.name);  // as a shorthand
  });
  std::vector<std::string_view> names(keys.begin(), keys.end());
  return nearestName(unknown, names);
}

}  // namespace net1::drivers
