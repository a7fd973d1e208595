// A run's effective settings: its program's row, then each settings file
// (TOML), then the command line's assignments, a later one overriding an
// earlier; checked key by key as they come and as a whole at the end. A
// setting that cannot start a run throws UsageError naming the key and
// where it was set (file and line, or the option).
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "settings.h"
#include "usage_error.h"

namespace net1::drivers {

class SettingsBuilder {
 public:
  explicit SettingsBuilder(const ProgramSettings& row);

  // A TOML file of KEY = VALUE lines; a group's keys may also stand under
  // its table ([rsvr] switchProb = 0.1).
  void readFile(const std::string& path);
  // "KEY=VALUE", VALUE in TOML's syntax; a choice may be a bare word and a
  // range "lo,hi" without brackets.
  void set(std::string_view assignment, std::string_view where);
  // A value that the command line has already read as a number.
  void setReal(std::string_view key, double value, std::string_view text, std::string_view where);
  void setWhole(std::string_view key, long long value, std::string_view text, std::string_view where);

  // The checks between keys; after them, the settings a run can start with.
  const ProgramSettings& finish();

  const ProgramSettings& settings() const { return p_; }
  const ProgramSettings& defaults() const { return row_; }
  // Where the key was last set ("FILE:LINE", "--set"...), or empty.
  std::string origin(const std::string& key) const;

 private:
  UsageError unknownKey(const std::string& key, std::string_view where) const;
  template <class Node>
  void assign(const std::string& key, const Node& node, std::string_view text, std::string_view where);

  ProgramSettings row_;
  ProgramSettings p_;
  std::map<std::string, std::string> origins_;
};

// The nearest known key to an unknown one, as a hint for its message
// ("did you mean ...?"), or empty.
std::string nearestKey(std::string_view unknown, const ProgramSettings& p);

// The settings as a commented TOML file that readFile reads back to the
// same values; values other than the row's own say so in their comment.
std::string settingsToml(const ProgramSettings& p, const ProgramSettings& row, std::string_view title);

}  // namespace net1::drivers
