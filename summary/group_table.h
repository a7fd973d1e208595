#pragma once
// Group names and pathways (pre group -> post group) met in a trace, each
// given a small index in the order first met.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace net1::summary {

class GroupTable {
 public:
  // Far beyond any real network; it bounds memory for a damaged trace.
  static constexpr int kMaxGroups = 1024;

  // The index of name, added when new; -1 when the table is full.
  int group(std::string_view name) {
    if (last_ >= 0 && names_[static_cast<std::size_t>(last_)] == name) return last_;
    return groupSlow(name);
  }
  // -1 when absent.
  int find(std::string_view name) const;
  int groupCount() const { return static_cast<int>(names_.size()); }
  const std::string& groupName(int g) const { return names_[static_cast<std::size_t>(g)]; }

  // The index of the pathway pre -> post (group indices), added when new.
  int pathway(int pre, int post) {
    std::uint32_t key = static_cast<std::uint32_t>(pre) * kMaxGroups + static_cast<std::uint32_t>(post);
    if (key == lastPathKey_) return lastPath_;
    return pathwaySlow(key, pre, post);
  }
  int pathwayCount() const { return static_cast<int>(paths_.size()); }
  std::pair<int, int> pathwayGroups(int p) const { return paths_[static_cast<std::size_t>(p)]; }
  // "pre->post"
  std::string pathwayName(int p) const;

 private:
  int groupSlow(std::string_view name);
  int pathwaySlow(std::uint32_t key, int pre, int post);

  std::vector<std::string> names_;
  int last_ = -1;
  std::vector<std::pair<int, int>> paths_;
  std::unordered_map<std::uint32_t, int> pathIndex_;
  std::uint32_t lastPathKey_ = UINT32_MAX;
  int lastPath_ = -1;
};

}  // namespace net1::summary
