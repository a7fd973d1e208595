#include "group_table.h"

namespace net1::summary {

int GroupTable::find(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == name) return static_cast<int>(i);
  return -1;
}

int GroupTable::groupSlow(std::string_view name) {
  int g = find(name);
  if (g < 0) {
    if (groupCount() >= kMaxGroups) return -1;
    names_.emplace_back(name);
    g = groupCount() - 1;
  }
  last_ = g;
  return g;
}

int GroupTable::pathwaySlow(std::uint32_t key, int pre, int post) {
  auto [it, added] = pathIndex_.try_emplace(key, pathwayCount());
  if (added) paths_.emplace_back(pre, post);
  lastPathKey_ = key;
  lastPath_ = it->second;
  return it->second;
}

std::string GroupTable::pathwayName(int p) const {
  auto [pre, post] = pathwayGroups(p);
  return groupName(pre) + "->" + groupName(post);
}

}  // namespace net1::summary
