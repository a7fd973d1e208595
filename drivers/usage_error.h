// A command line or a setting that cannot start a run: its one-line
// message goes to standard error and the program exits with status 2.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace net1::drivers {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Text from a file or the command line as it goes into a one-line message:
// control characters shown as '?', and cut short.
inline std::string clip(std::string_view text) {
  constexpr std::size_t kLongest = 60;
  std::string out;
  for (char c : text.substr(0, kLongest)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
  if (text.size() > kLongest) out += "...";
  return out;
}

}  // namespace net1::drivers
