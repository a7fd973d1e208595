#include "output_target.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

namespace net1::io {
namespace {

// At most this many links in a row, as the kernel allows.
constexpr int kMaxLinks = 40;

// N of a path that ends in "/fd/N" under prefix, or -1.
int descriptorUnder(std::string_view path, std::string_view prefix) {
  if (path.substr(0, prefix.size()) != prefix) return -1;
  std::string_view number = path.substr(prefix.size());
  int fd = -1;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), fd);
  if (error != std::errc() || end != number.data() + number.size() || number.empty() || fd < 0) return -1;
  return fd;
}

}  // namespace

int streamDescriptor(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/"}) {
    if (int fd = descriptorUnder(path, prefix); fd >= 0) return fd;
  }
  return descriptorUnder(path, "/proc/" + std::to_string(::getpid()) + "/fd/");
}

void splitPath(const std::string& path, std::string& folder, std::string& name) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    folder = ".";
    name = path;
  } else {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

int followLinks(const std::string& path, std::string& out) {
  out = path;
  for (int hops = 0;; ++hops) {
    if (streamDescriptor(out) >= 0) return 0;
    struct stat st;
    if (::lstat(out.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(st.st_mode)) return 0;
    if (hops == kMaxLinks) return ELOOP;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(out.c_str(), target.data(), target.size());
    if (n < 0) return errno;
    target.resize(static_cast<std::size_t>(n));
    if (target.empty()) return ENOENT;
    if (target[0] != '/') {
      std::string folder, name;
      splitPath(out, folder, name);
      target = folder + "/" + target;
    }
    out = std::move(target);
  }
}

int resolveOutput(const std::string& name, OutputTarget& out) {
  out = OutputTarget{};
  if (name.empty()) return ENOENT;
  if (name == "-") {
    out.kind = TargetKind::stream;
    out.fd = 1;
    out.path = name;
    return 0;
  }
  if (int error = followLinks(name, out.path)) return error;
  if (int fd = streamDescriptor(out.path); fd >= 0) {
    out.kind = TargetKind::stream;
    out.fd = fd;
    return 0;
  }
  out.exists = ::stat(out.path.c_str(), &out.status) == 0;
  if (!out.exists) {
    // Only a name that is not there may be made; a folder that cannot be
    // searched, say, is refused with its own reason.
    if (errno != ENOENT) return errno;
    out.kind = TargetKind::replace;
    return 0;
  }
  if (S_ISDIR(out.status.st_mode)) return EISDIR;
  out.kind = S_ISREG(out.status.st_mode) ? TargetKind::replace : TargetKind::inPlace;
  return 0;
}

}  // namespace net1::io
