// A command line or a setting that cannot start a run: its one-line
// message goes to standard error and the program exits with status 2.
#pragma once

#include <stdexcept>

namespace net1::drivers {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace net1::drivers
