#include "file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace net1::io {

long readSome(int fd, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

int writeAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int readAll(const std::string& path, std::size_t limit, std::string& out) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char buffer[8192];
  int error = 0;
  for (;;) {
    const long n = readSome(fd, buffer, sizeof buffer);
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) break;
    // One byte past the limit tells that the file is larger, without
    // reading (or holding) any more of it.
    if (out.size() + static_cast<std::size_t>(n) > limit) {
      error = EFBIG;
      break;
    }
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (error != 0) out.clear();
  return error;
}

}  // namespace net1::io
