#include "line_source.h"

#include <cstring>

namespace net1::summary {

LineSource::LineSource(ByteSource& source, std::size_t blockSize)
    : source_(source), size_(blockSize < 2 ? 2 : blockSize), buf_(new char[size_]) {
  pos_ = end_ = buf_.get();
}

bool LineSource::fill() {
  // Keep the unfinished line, move it to the front, read behind it.
  std::size_t keep = static_cast<std::size_t>(end_ - pos_);
  if (keep != 0 && pos_ != buf_.get()) std::memmove(buf_.get(), pos_, keep);
  pos_ = buf_.get();
  end_ = pos_ + keep;
  if (eof_) return false;
  long n = source_.read(end_, size_ - keep);
  if (n <= 0) {
    eof_ = true;  // an error ends the input too; error() tells
    return false;
  }
  end_ += n;
  bytes_ += static_cast<std::uint64_t>(n);
  return true;
}

bool LineSource::nextSlow(std::string_view& line) {
  for (;;) {
    if (skipping_) {
      const void* nl = std::memchr(pos_, '\n', static_cast<std::size_t>(end_ - pos_));
      if (nl) {
        pos_ = static_cast<char*>(const_cast<void*>(nl)) + 1;
        skipping_ = false;
      } else {
        pos_ = end_;
      }
    }
    if (!skipping_ && pos_ != end_) {
      if (cutLine(line)) return true;
      if (pos_ == buf_.get() && static_cast<std::size_t>(end_ - pos_) == size_) {
        // A whole block without a newline: hand out its start, drop the rest.
        line = std::string_view(pos_, size_);
        pos_ = end_ = buf_.get();
        skipping_ = true;
        tooLong_ = true;
        return true;
      }
    }
    if (!fill()) {
      if (pos_ != end_ && !skipping_) {
        line = std::string_view(pos_, static_cast<std::size_t>(end_ - pos_));
        pos_ = end_;
        unterminated_ = true;
        return true;
      }
      return false;
    }
  }
}

}  // namespace net1::summary
