#include "trace_stream.h"

#include "core.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <cstdlib>

namespace net1 {
namespace {

// Large enough that writes are few, small enough to stay in the caches
// beside the network instead of pushing it out.
constexpr std::size_t kBufferSize = 1 << 16;

#ifndef NET1_PLAIN_DESIGN
// Writes `value` (finite, |value| < 2^53) as "%f" would, and returns the end.
// The value is m * 2^-k exactly, so its fraction times 10^6 is an integer
// over 2^k, computed exactly in 128 bits and rounded to nearest, ties to
// even, as printf rounds the exact binary value.
char* writeFixedExact(char* at, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if (bits >> 63) *at++ = '-';
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int k = 1074;  // subnormals and zero: m * 2^-1074
  if (biased != 0) {
    m |= std::uint64_t{1} << 52;
    k = 1075 - biased;
  }
  // fraction / 2^k in millionths, rounded to nearest, ties to even.
  auto microsOf = [k](std::uint64_t fraction) {
    const unsigned __int128 scaled = static_cast<unsigned __int128>(fraction) * 1000000u;
    std::uint64_t micros = static_cast<std::uint64_t>(scaled >> k);
    const unsigned __int128 rest = scaled - (static_cast<unsigned __int128>(micros) << k);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (k - 1);
    if (rest > half || (rest == half && (micros & 1))) ++micros;
    return micros;
  };
  std::uint64_t whole = 0;
  std::uint64_t micros = 0;
  if (k <= 0) {
    whole = m << -k;  // an integer; below 2^53 by the caller's test
  } else if (k < 64) {
    whole = m >> k;
    micros = microsOf(m & ((std::uint64_t{1} << k) - 1));
  } else if (k < 120) {
    // No whole part; the product stays below 2^73, and beyond 2^-120 the
    // value rounds to 0 anyway.
    micros = microsOf(m);
  }
  if (micros == 1000000) {
    micros = 0;
    ++whole;
  }
  at = std::to_chars(at, at + 20, whole).ptr;
  *at = '.';
  for (int i = 6; i > 0; --i) {
    at[i] = static_cast<char>('0' + micros % 10);
    micros /= 10;
  }
  return at + 7;
}
#endif

}  // namespace

// The buffer comes from the engine's allocator, so that running out of
// memory is the engine's one fatal error and not an exception.
Stream::Stream(int fd, bool owned)
    : fd_(fd), owned_(owned), buffer_(static_cast<char*>(allocMem(kBufferSize))), capacity_(kBufferSize) {}

Stream::Stream(std::string* memory)
    : memory_(memory), buffer_(static_cast<char*>(allocMem(kBufferSize))), capacity_(kBufferSize) {}

Stream::Stream(Sink* sink)
    : sink_(sink), buffer_(static_cast<char*>(allocMem(kBufferSize))), capacity_(kBufferSize) {}

Stream::~Stream() {
  formatHere();
  flush();
  std::free(buffer_);
}

Stream& Stream::text(std::string_view s) {
  settle();
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

char* Stream::integerInto(char* at, long long value) {
#ifdef NET1_PLAIN_DESIGN
  return at + std::snprintf(at, kLongestInteger, "%lld", value);
#else
  return std::to_chars(at, at + kLongestInteger, value).ptr;
#endif
}

char* Stream::fixedInto(char* at, double value) {
#ifdef NET1_PLAIN_DESIGN
  return at + std::snprintf(at, kLongestFixed, "%f", value);
#else
  // Infinities and NaNs are spelled as printf spells them; numbers below
  // 2^53 are converted exactly here, larger ones (all whole) by to_chars,
  // which rounds exactly as printf's "%f" does.
  if (value != value || value - value != 0) {
    if (std::signbit(value)) *at++ = '-';
    std::memcpy(at, value != value ? "nan" : "inf", 3);
    return at + 3;
  }
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if (lastFixedLength_ > 0 && bits == lastFixedBits_) {
    std::memcpy(at, lastFixed_, lastFixedLength_);
    return at + lastFixedLength_;
  }
  char* end = std::fabs(value) < 9007199254740992.0  // 2^53
                  ? writeFixedExact(at, value)
                  : std::to_chars(at, at + kLongestFixed, value, std::chars_format::fixed, 6).ptr;
  const std::size_t length = static_cast<std::size_t>(end - at);
  if (length <= sizeof lastFixed_) {
    std::memcpy(lastFixed_, at, length);
    lastFixedBits_ = bits;
    lastFixedLength_ = static_cast<std::uint8_t>(length);
  }
  return end;
#endif
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
  if (error_) return;  // after a failed write nothing more is attempted
  if (sink_) {
    if (size > 0) error_ = sink_->write(data, size);
    return;
  }
  if (fd_ < 0) return;
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

void Stream::flush() {
  settle();
  drain();
}

void Stream::close() {
  formatHere();
  flush();
  if (owned_ && fd_ >= 0) {
    if (::close(fd_) != 0 && !error_) error_ = errno;
  }
  fd_ = -1;
}

namespace {
Stream* made = nullptr;  // the standard output stream, once it exists
}  // namespace

bool Stream::isStandardOutput() const { return this == made; }

Stream* standardOutput() {
  static Stream out(STDOUT_FILENO, false);
  made = &out;
  return made;
}

Stream* standardOutputIfMade() { return made; }

}  // namespace net1
