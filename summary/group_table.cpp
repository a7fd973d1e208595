#include "group_table.hpp"

namespace tsum {

int GroupTable::find(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == name) return static_cast<int>(i);
  return -1;
}

int GroupTable::group_slow(std::string_view name) {
  int g = find(name);
  if (g < 0) {
    if (group_count() >= kMaxGroups) return -1;
    names_.emplace_back(name);
    g = group_count() - 1;
  }
  last_ = g;
  return g;
}

int GroupTable::pathway_slow(std::uint32_t key, int pre, int post) {
  auto [it, added] = path_index_.try_emplace(key, pathway_count());
  if (added) paths_.emplace_back(pre, post);
  last_path_key_ = key;
  last_path_ = it->second;
  return it->second;
}

std::string GroupTable::pathway_name(int p) const {
  auto [pre, post] = pathway_groups(p);
  return group_name(pre) + "->" + group_name(post);
}

}  // namespace tsum
