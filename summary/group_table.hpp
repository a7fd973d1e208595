#pragma once
// Group names and pathways (pre group -> post group) met in a trace, each
// given a small index in the order first met.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tsum {

class GroupTable {
 public:
  // Far beyond any real network; it bounds memory for a damaged trace.
  static constexpr int kMaxGroups = 1024;

  // The index of name, added when new; -1 when the table is full.
  int group(std::string_view name) {
    if (last_ >= 0 && names_[static_cast<std::size_t>(last_)] == name) return last_;
    return group_slow(name);
  }
  // -1 when absent.
  int find(std::string_view name) const;
  int group_count() const { return static_cast<int>(names_.size()); }
  const std::string& group_name(int g) const { return names_[static_cast<std::size_t>(g)]; }

  // The index of the pathway pre -> post (group indices), added when new.
  int pathway(int pre, int post) {
    std::uint32_t key = static_cast<std::uint32_t>(pre) * kMaxGroups + static_cast<std::uint32_t>(post);
    if (key == last_path_key_) return last_path_;
    return pathway_slow(key, pre, post);
  }
  int pathway_count() const { return static_cast<int>(paths_.size()); }
  std::pair<int, int> pathway_groups(int p) const { return paths_[static_cast<std::size_t>(p)]; }
  // "pre->post"
  std::string pathway_name(int p) const;

 private:
  int group_slow(std::string_view name);
  int pathway_slow(std::uint32_t key, int pre, int post);

  std::vector<std::string> names_;
  int last_ = -1;
  std::vector<std::pair<int, int>> paths_;
  std::unordered_map<std::uint32_t, int> path_index_;
  std::uint32_t last_path_key_ = UINT32_MAX;
  int last_path_ = -1;
};

}  // namespace tsum
