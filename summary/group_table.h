#pragma once
// Group names and pathways (pre group -> post group) met in a trace, each
// given a small index in the order first met.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace net1::summary {

class GroupTable {
 public:
  // Far beyond any real network (the programs have three groups and three
  // pathways). The limits bound memory and the width of every table for a
  // damaged trace.
  static constexpr int kMaxGroups = 256;
  static constexpr int kMaxPathways = 1024;

  // The index of name, or -1 when absent.
  int find(std::string_view name) const {
    // The few groups of a real network are found fastest by looking at
    // each; the index serves a trace with many.
    if (names_.size() <= kScanned) {
      for (std::size_t i = 0; i < names_.size(); ++i)
        if (same(names_[i], name)) return static_cast<int>(i);
      return -1;
    }
    auto it = index_.find(name);
    return it == index_.end() ? -1 : it->second;
  }
  // The index of name, added when new; -1 when new and the table is full.
  int group(std::string_view name);
  int groupCount() const { return static_cast<int>(names_.size()); }
  const std::string& groupName(int g) const { return names_[static_cast<std::size_t>(g)]; }

  // The index of the pathway pre -> post (group indices), or -1 when absent.
  int findPathway(int pre, int post) const {
    std::uint32_t key = pathKey(pre, post);
    if (key == lastPathKey_) return lastPath_;
    auto it = pathIndex_.find(key);
    return it == pathIndex_.end() ? -1 : it->second;
  }
  // The index of the pathway, added when new; -1 when new and the table is full.
  int pathway(int pre, int post);
  int pathwayCount() const { return static_cast<int>(paths_.size()); }
  std::pair<int, int> pathwayGroups(int p) const { return paths_[static_cast<std::size_t>(p)]; }
  // "pre->post"
  std::string pathwayName(int p) const;

 private:
  static constexpr std::size_t kScanned = 8;
  // Names are short: a loop over their characters, inlined, beats a call of memcmp.
  static bool same(const std::string& a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < b.size(); ++i)
      if (a[i] != b[i]) return false;
    return true;
  }
  static std::uint32_t pathKey(int pre, int post) {
    return static_cast<std::uint32_t>(pre) * kMaxGroups + static_cast<std::uint32_t>(post);
  }
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  std::vector<std::string> names_;
  std::unordered_map<std::string, int, NameHash, std::equal_to<>> index_;
  std::vector<std::pair<int, int>> paths_;
  std::unordered_map<std::uint32_t, int> pathIndex_;
  std::uint32_t lastPathKey_ = UINT32_MAX;
  int lastPath_ = -1;
};

}  // namespace net1::summary
