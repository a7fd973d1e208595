#pragma once
// The check that no output of a command names one of its inputs or another
// of its outputs: written, the one would replace or garble the other. It is
// made before anything is written.
//
// Names are compared by what they are, not by how they are spelt: by device
// and inode where the file exists (so hard links and ./b.txt are caught),
// by the resolved path where it does not yet. Symbolic links are followed.
// Two outputs on one standard stream ("-" and /dev/stdout) are written one
// after the other and may share it; so may anything on a character device
// (/dev/null, a terminal) or a socket.

#include <string>
#include <utility>
#include <vector>

namespace net1::io {

// An input or an output as the command line gave it: the option that named
// it ("-o", "--meta"; empty for a positional name or the standard stream)
// and the name ("-" is standard input among inputs, standard output among
// outputs).
using Named = std::pair<std::string, std::string>;

// "" when every output is a file of its own; otherwise one line about the
// first clash, e.g. "--meta ./b.txt is the same file as -o b.txt" or
// "--headline v.zst is the same file as the input v.zst". stdinFd and
// stdoutFd are the descriptors that "-" stands for.
std::string sameFileProblem(const std::vector<Named>& inputs, const std::vector<Named>& outputs, int stdinFd = 0,
                            int stdoutFd = 1);

}  // namespace net1::io
