#pragma once
// The exp-summary command: options, the one pass over the input, outputs.

#include <cstdio>

namespace net1::summary {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitBadData = 1;  // a line that is not a trace line, empty input, read error
inline constexpr int kExitUsage = 2;    // bad options, input not found, outputs not writable

// Runs the command; argv[0] is the program name. stdinFd is read when no
// input file is named.
int runCli(int argc, const char* const* argv, int stdinFd, std::FILE* out, std::FILE* err);

}  // namespace net1::summary
