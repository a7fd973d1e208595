#pragma once
// The exp-summary command: options, the one pass over the input, outputs.

#include <cstdio>

namespace net1::summary {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitBadData = 1;  // a bad line, empty input, a read error, damaged compressed data
inline constexpr int kExitUsage = 2;    // bad options, --bin too fine, input not found, an output not written

// Runs the command; argv[0] is the program name. stdinFd is read when no
// input file is named.
int runCli(int argc, const char* const* argv, int stdinFd, std::FILE* out, std::FILE* err);

}  // namespace net1::summary
