#pragma once
// The exp-summary command: options, the one pass over the input, outputs.

#include <cstdio>

namespace tsum {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitBadData = 1;  // a line that is not a trace line, empty input, read error
inline constexpr int kExitUsage = 2;    // bad options, input not found, outputs not writable

// Runs the command; argv[0] is the program name. stdin_fd is read when no
// input file is named.
int run_cli(int argc, const char* const* argv, int stdin_fd, std::FILE* out, std::FILE* err);

}  // namespace tsum
