#pragma once
// Lines from a byte source, read in large blocks.
//
// A trace can be a gigabyte, so lines are handed out as views into the block
// buffer: no copy, no per-line allocation, one read() per block.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "byte_source.h"

namespace net1::summary {

class LineSource {
 public:
  static constexpr std::size_t kDefaultBlock = std::size_t{4} << 20;

  // A line of up to blockSize - 1 bytes (plus its newline) is handed out
  // whole; a longer one is handed out cut to blockSize bytes, with
  // tooLong() set, and the rest of it is skipped.
  explicit LineSource(ByteSource& source, std::size_t blockSize = kDefaultBlock);

  // The next line without its newline, valid until the next call. False at
  // the end of input or after a read error.
  bool next(std::string_view& line) {
    tooLong_ = false;
    if (pos_ != end_ && !skipping_ && cutLine(line)) return true;
    return nextSlow(line);
  }

  // The line just returned had no newline: the input ended in mid-line.
  bool unterminated() const { return unterminated_; }
  // The line just returned was cut at the block length.
  bool tooLong() const { return tooLong_; }
  std::uint64_t bytesRead() const { return bytes_; }
  // Why reading failed (a read error, damaged compressed data); empty
  // when it did not.
  const std::string& error() const { return source_.error(); }

 private:
  // A whole line from what is buffered, when a newline is there.
  bool cutLine(std::string_view& line) {
    const void* nl = std::memchr(pos_, '\n', static_cast<std::size_t>(end_ - pos_));
    if (!nl) return false;
    char* stop = static_cast<char*>(const_cast<void*>(nl));
    line = std::string_view(pos_, static_cast<std::size_t>(stop - pos_));
    pos_ = stop + 1;
    return true;
  }
  bool nextSlow(std::string_view& line);
  bool fill();  // false when nothing more could be read

  ByteSource& source_;
  std::size_t size_;
  std::unique_ptr<char[]> buf_;
  char* pos_;
  char* end_;
  bool eof_ = false;
  bool skipping_ = false;  // discarding the rest of an overlong line
  bool unterminated_ = false;
  bool tooLong_ = false;
  std::uint64_t bytes_ = 0;
};

}  // namespace net1::summary
