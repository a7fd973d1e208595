#include "group_table.h"

namespace net1::summary {

int GroupTable::group(std::string_view name) {
  int g = find(name);
  if (g < 0) {
    if (groupCount() >= kMaxGroups) return -1;
    g = groupCount();
    names_.emplace_back(name);
    index_.emplace(names_.back(), g);
  }
  return g;
}

int GroupTable::pathway(int pre, int post) {
  int p = findPathway(pre, post);
  if (p < 0) {
    if (pathwayCount() >= kMaxPathways) return -1;
    p = pathwayCount();
    paths_.emplace_back(pre, post);
    pathIndex_.emplace(pathKey(pre, post), p);
  }
  lastPathKey_ = pathKey(pre, post);
  lastPath_ = p;
  return p;
}

std::string GroupTable::pathwayName(int p) const {
  auto [pre, post] = pathwayGroups(p);
  return groupName(pre) + "->" + groupName(post);
}

}  // namespace net1::summary
