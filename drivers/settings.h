// A run's effective description: a base (a program's own, or a description
// file), then each settings file, then the command line's assignments, a
// later one overriding an earlier; checked key by key as they come and as a
// whole at the end. A setting that cannot start a run throws UsageError
// naming the key and where it was set (file and line, or the option).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "description.h"
#include "usage_error.h"

namespace net1::drivers {

// What a run record (--meta) holds beyond its description, for a rerun.
struct RecordedRun {
  std::string path;
  std::uint32_t seed = 0;
  std::vector<std::string> record;  // the kinds of line written
  std::string commit;               // of the build that ran it
  std::string program;
};

class SettingsBuilder {
 public:
  // `baseName` names the base in messages and in --print-params comments.
  SettingsBuilder(Description base, std::string baseName);

  // A settings file: KEY = VALUE lines (a part's keys may also stand under
  // its table: [rsvr] switchProb = 0.1), or a whole description, which
  // replaces the one so far, or a run record (JSON), whose description
  // replaces it and whose seed and kinds of line become recorded(). With
  // `whole`, only the last two.
  void readFile(const std::string& path, bool whole);
  // Replaces the description so far, as a description file does;
  // `origins` says where its keys were set.
  void load(Description d, std::string name, std::map<std::string, std::string> origins = {});
  // "KEY=VALUE", VALUE in TOML's syntax; a choice may be a bare word, a
  // range "lo,hi" without brackets, and a number a plain decimal (".5").
  void set(std::string_view assignment, std::string_view where);
  // A value that the command line has already read as a number.
  void setReal(std::string_view key, double value, std::string_view text, std::string_view where);
  void setWhole(std::string_view key, long long value, std::string_view text, std::string_view where);

  // The checks between keys; after them, the description a run can start
  // with. `missingFactor` is the message for an edition-2 run that needs
  // the switch-rate factor and was not given it.
  const Description& finish(const std::string& missingFactor);

  const Description& description() const { return d_; }
  // The description the settings started from: the base, or the last
  // description or record read.
  const Description& base() const { return base_; }
  const std::string& baseName() const { return baseName_; }
  const std::optional<RecordedRun>& recorded() const { return recorded_; }
  // Where the key was last set ("FILE:LINE", "--set"...), or empty.
  std::string origin(const std::string& key) const;

 private:
  UsageError unknownKey(const std::string& key, std::string_view where) const;
  template <class Node>
  void assign(const std::string& key, const Node& node, std::string_view text, std::string_view where);

  Description base_;
  std::string baseName_;
  Description d_;
  std::map<std::string, std::string> origins_;
  std::optional<RecordedRun> recorded_;
};

// Settings files are a few kilobytes, descriptions and records a few more;
// anything far larger is not one, and is refused before it is read.
inline constexpr std::size_t kMaxSettingsFileSize = 1 << 20;
std::string readSettingsFile(const std::string& path);

}  // namespace net1::drivers
