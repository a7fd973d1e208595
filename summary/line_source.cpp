#include "line_source.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace net1::summary {

LineSource::LineSource(int fd, std::size_t blockSize)
    : fd_(fd), size_(blockSize < 2 ? 2 : blockSize), buf_(new char[size_]) {
  pos_ = end_ = buf_.get();
}

bool LineSource::fill() {
  // Keep the unfinished line, move it to the front, read behind it.
  std::size_t keep = static_cast<std::size_t>(end_ - pos_);
  if (keep != 0 && pos_ != buf_.get()) std::memmove(buf_.get(), pos_, keep);
  pos_ = buf_.get();
  end_ = pos_ + keep;
  while (!eof_) {
    ssize_t n = ::read(fd_, end_, size_ - keep);
    if (n > 0) {
      end_ += n;
      bytes_ += static_cast<std::uint64_t>(n);
      return true;
    }
    if (n == 0) {
      eof_ = true;
    } else if (errno != EINTR) {
      readError_ = errno;
      eof_ = true;
    }
  }
  return false;
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
