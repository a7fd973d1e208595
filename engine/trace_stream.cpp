#include "trace_stream.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace net1 {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// Longest "%f" of a double: 309 integer digits, sign, point and six decimals.
constexpr std::size_t kLongestFixed = 320;

}  // namespace

Stream::Stream(int fd, bool owned)
    : fd_(fd), owned_(owned), buffer_(new char[kBufferSize]), capacity_(kBufferSize) {}

Stream::Stream(std::string* memory)
    : memory_(memory), buffer_(new char[kBufferSize]), capacity_(kBufferSize) {}

Stream::~Stream() {
  flush();
  delete[] buffer_;
}

Stream& Stream::text(std::string_view s) {
  if (s.size() > capacity_ - length_) {
    drain();
    if (s.size() > capacity_) {
      writeOut(s.data(), s.size());
      return *this;
    }
  }
  std::memcpy(buffer_ + length_, s.data(), s.size());
  length_ += s.size();
  return *this;
}

Stream& Stream::integer(long long value) {
  reserve(24);
#ifdef NET1_PLAIN_DESIGN
  length_ += static_cast<std::size_t>(std::snprintf(buffer_ + length_, 24, "%lld", value));
#else
  auto result = std::to_chars(buffer_ + length_, buffer_ + capacity_, value);
  length_ = static_cast<std::size_t>(result.ptr - buffer_);
#endif
  return *this;
}

Stream& Stream::fixed(double value) {
  reserve(kLongestFixed);
#ifdef NET1_PLAIN_DESIGN
  length_ += static_cast<std::size_t>(std::snprintf(buffer_ + length_, kLongestFixed, "%f", value));
#else
  // to_chars with fixed notation and a precision is exactly rounded, as
  // printf's "%f" is; only the spelling of infinities and NaNs differs.
  char* at = buffer_ + length_;
  if (value != value || value - value != 0) {
    const bool negative = std::signbit(value);
    const char* word = value != value ? "nan" : "inf";
    if (negative) *at++ = '-';
    std::memcpy(at, word, 3);
    length_ = static_cast<std::size_t>(at + 3 - buffer_);
    return *this;
  }
  auto result = std::to_chars(at, buffer_ + capacity_, value, std::chars_format::fixed, 6);
  length_ = static_cast<std::size_t>(result.ptr - buffer_);
#endif
  return *this;
}

void Stream::drain() {
  writeOut(buffer_, length_);
  length_ = 0;
}

void Stream::writeOut(const char* data, std::size_t size) {
  if (memory_) {
    memory_->append(data, size);
    return;
  }
  if (error_ || fd_ < 0) return;  // after a failed write nothing more is attempted
  while (size > 0) {
    ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void Stream::flush() { drain(); }

void Stream::close() {
  flush();
  if (owned_ && fd_ >= 0) {
    if (::close(fd_) != 0 && !error_) error_ = errno;
  }
  fd_ = -1;
}

bool Stream::isStandardOutput() const { return this == standardOutput(); }

Stream* standardOutput() {
  static Stream out(STDOUT_FILENO, false);
  return &out;
}

}  // namespace net1
