#pragma once
// Where the bytes of a named output go.
//
// A regular file (or a name not yet taken) is replaced whole: written under
// a temporary name beside it and renamed onto it. A device, a pipe or a
// socket cannot be replaced and is written where it is; a standard stream
// (-, /dev/stdout, /dev/fd/N) is written through the descriptor the process
// already holds, at its own offset. A symbolic link is followed to what it
// names, so that the link stays and its target is written.

#include <sys/stat.h>

#include <string>

namespace net1::io {

enum class TargetKind {
  stream,   // a descriptor the process holds: `fd`
  inPlace,  // a device, pipe or socket at `path`, opened and written as it is
  replace,  // a regular file at `path`, or none yet: renamed into place
};

struct OutputTarget {
  TargetKind kind = TargetKind::replace;
  int fd = -1;          // stream: its descriptor
  std::string path;     // the name with the symbolic links of its last part followed
  bool exists = false;  // path names something; then status is its stat
  struct stat status {};
};

// Where name's bytes would go ("-" is standard output). Returns 0, or the
// errno of why name cannot be an output (EISDIR for a folder, ELOOP for a
// cycle of links, ...).
int resolveOutput(const std::string& name, OutputTarget& out);

// The descriptor that path names when it is a standard stream's name
// (/dev/stdin, /dev/stdout, /dev/stderr) or a descriptor's (/dev/fd/N,
// /proc/self/fd/N); -1 for any other path.
int streamDescriptor(const std::string& path);

// path with every symbolic link of its last part followed, up to a name
// that is not a link (or names nothing yet), or to a standard stream's
// name. Returns 0 or the errno of the lstat or readlink that failed.
int followLinks(const std::string& path, std::string& out);

// The folder of a path and the name in it: "a/b.txt" is "a" and "b.txt",
// "b.txt" is "." and "b.txt".
void splitPath(const std::string& path, std::string& folder, std::string& name);

}  // namespace net1::io
