#include "byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

namespace net1::summary {
namespace {

// The file descriptor, with the first bytes that were read to recognise
// the format handed out again first.
class RawInput {
 public:
  explicit RawInput(int fd) : fd_(fd) {}

  // Reads the first bytes, at most sizeof head_, fewer only at the end.
  bool sniff() {
    while (headSize_ < sizeof head_) {
      long n = readFd(head_ + headSize_, sizeof head_ - headSize_);
      if (n < 0) return false;
      if (n == 0) break;
      headSize_ += static_cast<std::size_t>(n);
    }
    return true;
  }
  const unsigned char* head() const { return reinterpret_cast<const unsigned char*>(head_); }
  std::size_t headSize() const { return headSize_; }

  long read(char* buf, std::size_t size) {
    if (headPos_ < headSize_) {
      std::size_t n = std::min(size, headSize_ - headPos_);
      std::memcpy(buf, head_ + headPos_, n);
      headPos_ += n;
      return static_cast<long>(n);
    }
    return readFd(buf, size);
  }
  int error() const { return error_; }

 private:
  long readFd(char* buf, std::size_t size) {
    for (;;) {
      ssize_t n = ::read(fd_, buf, size);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) {
        error_ = errno;
        return -1;
      }
    }
  }

  int fd_;
  char head_[4];
  std::size_t headSize_ = 0, headPos_ = 0;
  int error_ = 0;
};

std::string readError(int err) { return std::string("read error: ") + std::strerror(err); }

class PlainSource : public ByteSource {
 public:
  explicit PlainSource(RawInput raw) : raw_(raw) {}
  long read(char* buf, std::size_t size) override {
    long n = raw_.read(buf, size);
    if (n < 0) error_ = readError(raw_.error());
    return n;
  }
  const char* format() const override { return "plain"; }

 private:
  RawInput raw_;
};

// An input that could not even be read far enough to recognise it.
class FailedSource : public ByteSource {
 public:
  explicit FailedSource(std::string error) { error_ = std::move(error); }
  long read(char*, std::size_t) override { return -1; }
  const char* format() const override { return "plain"; }
};

// Compressed input is read in blocks of this size.
constexpr std::size_t kInBlock = std::size_t{1} << 18;

class GzipSource : public ByteSource {
 public:
  explicit GzipSource(RawInput raw) : raw_(raw), in_(new unsigned char[kInBlock]) {
    // 16 + 15: a gzip wrapper and the largest window.
    if (inflateInit2(&z_, 16 + 15) != Z_OK) error_ = "cannot start the gzip decompressor";
  }
  ~GzipSource() override { inflateEnd(&z_); }

  long read(char* buf, std::size_t size) override {
    if (!error_.empty()) return -1;
    if (size == 0) return 0;
    z_.next_out = reinterpret_cast<Bytef*>(buf);
    z_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, UINT32_MAX));
    for (;;) {
      if (done_) return 0;
      if (z_.avail_in == 0 && !eof_ && !fill()) return -1;
      int ret = inflate(&z_, Z_NO_FLUSH);
      long produced = static_cast<long>(reinterpret_cast<char*>(z_.next_out) - buf);
      if (ret == Z_STREAM_END) {
        // gzip allows members one after the other, as `cat a.gz b.gz` makes.
        if (!nextMember()) return -1;
      } else if (ret == Z_DATA_ERROR || ret == Z_NEED_DICT) {
        error_ = std::string("corrupt gzip data: ") + (z_.msg ? z_.msg : "invalid stream");
        return -1;
      } else if (ret == Z_MEM_ERROR) {
        error_ = "gzip: out of memory";
        return -1;
      } else if (ret == Z_BUF_ERROR || (ret == Z_OK && produced == 0)) {
        if (z_.avail_in == 0 && eof_) {
          error_ = "truncated gzip data: the input ends inside the compressed stream";
          return -1;
        }
      }
      if (produced > 0) return produced;
    }
  }
  const char* format() const override { return "gzip"; }

 private:
  bool fill() {
    long n = raw_.read(reinterpret_cast<char*>(in_.get()), kInBlock);
    if (n < 0) {
      error_ = readError(raw_.error());
      return false;
    }
    if (n == 0) eof_ = true;
    z_.next_in = in_.get();
    z_.avail_in = static_cast<uInt>(n);
    return true;
  }
  // After the end of a member: the end of the input, or another member.
  bool nextMember() {
    if (z_.avail_in == 0 && !eof_ && !fill()) return false;
    if (z_.avail_in == 0) {
      done_ = true;
      return true;
    }
    if (z_.next_in[0] != 0x1f) {
      error_ = "corrupt gzip data: bytes after the end of the compressed stream";
      return false;
    }
    inflateReset(&z_);
    return true;
  }

  RawInput raw_;
  std::unique_ptr<unsigned char[]> in_;
  z_stream z_{};
  bool eof_ = false, done_ = false;
};

class ZstdSource : public ByteSource {
 public:
  explicit ZstdSource(RawInput raw) : raw_(raw), in_(new char[kInBlock]), dctx_(ZSTD_createDCtx()) {
    if (!dctx_) error_ = "cannot start the zstd decompressor";
  }
  ~ZstdSource() override { ZSTD_freeDCtx(dctx_); }

  long read(char* buf, std::size_t size) override {
    if (!error_.empty()) return -1;
    if (size == 0) return 0;
    ZSTD_outBuffer out{buf, size, 0};
    for (;;) {
      if (input_.pos == input_.size && !eof_) {
        long n = raw_.read(in_.get(), kInBlock);
        if (n < 0) {
          error_ = readError(raw_.error());
          return -1;
        }
        if (n == 0) eof_ = true;
        input_ = ZSTD_inBuffer{in_.get(), static_cast<std::size_t>(n), 0};
      }
      // After a complete frame the decoder would ask for the next one.
      if (input_.pos == input_.size && eof_ && !pending_) return 0;
      std::size_t ret = ZSTD_decompressStream(dctx_, &out, &input_);
      if (ZSTD_isError(ret)) {
        error_ = std::string("corrupt zstd data: ") + ZSTD_getErrorName(ret);
        return -1;
      }
      pending_ = ret != 0;
      if (out.pos > 0) return static_cast<long>(out.pos);
      if (input_.pos == input_.size && eof_) {
        if (pending_) {
          error_ = "truncated zstd data: the input ends inside a frame";
          return -1;
        }
        return 0;
      }
    }
  }
  const char* format() const override { return "zstd"; }

 private:
  RawInput raw_;
  std::unique_ptr<char[]> in_;
  ZSTD_DCtx* dctx_;
  ZSTD_inBuffer input_{nullptr, 0, 0};
  bool eof_ = false;
  bool pending_ = false;  // the last frame is not complete yet
};

}  // namespace

std::unique_ptr<ByteSource> openByteSource(int fd) {
  RawInput raw(fd);
  if (!raw.sniff()) return std::make_unique<FailedSource>(readError(raw.error()));
  const unsigned char* h = raw.head();
  const std::size_t n = raw.headSize();
  if (n >= 2 && h[0] == 0x1f && h[1] == 0x8b) return std::make_unique<GzipSource>(raw);
  // A zstd frame, or a skippable frame (magic 0x184D2A50 to 0x184D2A5F).
  if (n >= 4 && ((h[0] == 0x28 && h[1] == 0xb5 && h[2] == 0x2f && h[3] == 0xfd) ||
                 ((h[0] & 0xf0) == 0x50 && h[1] == 0x2a && h[2] == 0x4d && h[3] == 0x18)))
    return std::make_unique<ZstdSource>(raw);
  return std::make_unique<PlainSource>(raw);
}

}  // namespace net1::summary
