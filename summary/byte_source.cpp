#include "byte_source.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include "file_io.h"
#include "temporaries.h"

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
      // With what follows, so that a frame header is whole in one read (an
      // error or the end of the input shows again at the next read).
      if (headPos_ == headSize_ && n < size) {
        const long more = readFd(buf + n, size - n);
        if (more > 0) n += static_cast<std::size_t>(more);
      }
      return static_cast<long>(n);
    }
    return readFd(buf, size);
  }
  int error() const { return error_; }

 private:
  long readFd(char* buf, std::size_t size) {
    const long n = io::readSome(fd_, buf, size);
    if (n < 0) error_ = errno;
    return n;
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
// The largest zstd window read: zstd's own default, 128 MiB.
constexpr std::size_t kZstdMaxWindow = std::size_t{1} << 27;

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

// A frame written with zstd --long needs a window beyond the decoder's
// default, which bounds our memory: not corrupt, and readable another way.
std::string windowMessage(const char* frame, std::size_t size) {
  std::string needs = "a larger window";
  // The frame's magic number, its descriptor byte, then (unless the frame
  // is a single segment) the window's: an exponent and eighths.
  const auto* h = reinterpret_cast<const unsigned char*>(frame);
  if (h && size >= 6 && (h[4] & 0x20) == 0) {
    const std::uint64_t base = std::uint64_t{1} << (10 + (h[5] >> 3));
    needs = "a window of " + std::to_string((base + base / 8 * (h[5] & 7)) >> 20) + " MiB";
  }
  return "the zstd data needs " + needs + ", more than the " + std::to_string(kZstdMaxWindow >> 20) +
         " MiB this reader takes (written with zstd --long): decompress it first, e.g. zstd -dc --long=31 FILE | "
         "exp-summary -";
}

class ZstdSource : public ByteSource {
 public:
  explicit ZstdSource(RawInput raw) : raw_(raw), in_(new char[kInBlock]), dctx_(ZSTD_createDCtx()) {
    if (!dctx_) error_ = "cannot start the zstd decompressor";
    else ZSTD_DCtx_setParameter(dctx_, ZSTD_d_windowLogMax, 27);
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
      const std::size_t frameAt = input_.pos;  // where a frame starts, when none is pending
      const bool between = !pending_;
      std::size_t ret = ZSTD_decompressStream(dctx_, &out, &input_);
      if (ZSTD_isError(ret)) {
        if (ZSTD_getErrorCode(ret) == ZSTD_error_frameParameter_windowTooLarge) {
          error_ = windowMessage(between ? in_.get() + frameAt : nullptr, input_.size - frameAt);
        } else {
          error_ = std::string("corrupt zstd data: ") + ZSTD_getErrorName(ret);
        }
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

// Decompresses on a thread of its own, a few blocks ahead of the reader:
// decompressing and parsing then take their time side by side instead of
// one after the other.
class AheadSource : public ByteSource {
 public:
  explicit AheadSource(std::unique_ptr<ByteSource> inner) : inner_(std::move(inner)) {
    for (auto& b : blocks_) b.data.reset(new char[kBlock]);
    // The worker never takes a stop signal: the handler that removes the
    // temporary files runs on the thread that makes and renames them.
    io::StopSignalsHeld held;
    worker_ = std::thread([this] { produce(); });
  }
  ~AheadSource() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    stopping_.store(true, std::memory_order_relaxed);
    changed_.notify_all();
    worker_.join();
  }

  long read(char* buf, std::size_t size) override {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return filled_ != 0 || done_; });
    if (filled_ == 0) {
      // Everything was handed out; done_ says how the input ended.
      if (failed_) {
        error_ = inner_->error();
        return -1;
      }
      return 0;
    }
    Block& b = blocks_[head_];
    lock.unlock();
    // The block is the reader's until it is given back, so no lock is
    // needed to copy from it.
    std::size_t n = std::min(size, b.size - pos_);
    std::memcpy(buf, b.data.get() + pos_, n);
    pos_ += n;
    if (pos_ == b.size) {
      pos_ = 0;
      lock.lock();
      head_ = (head_ + 1) % kBlocks;
      --filled_;
      lock.unlock();
      changed_.notify_all();
    }
    return static_cast<long>(n);
  }
  const char* format() const override { return inner_->format(); }

 private:
  static constexpr std::size_t kBlocks = 4;
  static constexpr std::size_t kBlock = std::size_t{1} << 20;
  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
  };

  void produce() {
    for (;;) {
      std::size_t index;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return filled_ < kBlocks || stop_; });
        if (stop_) return;
        index = tail_;
      }
      // A free block is the producer's alone until it is published.
      Block& b = blocks_[index];
      b.size = 0;
      long n = 1;
      // A reader that stopped early waits for this block at most: each read
      // of the input looks whether it still wants one.
      while (b.size < kBlock && !stopping_.load(std::memory_order_relaxed) &&
             (n = inner_->read(b.data.get() + b.size, kBlock - b.size)) > 0)
        b.size += static_cast<std::size_t>(n);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (b.size != 0) {
          tail_ = (tail_ + 1) % kBlocks;
          ++filled_;
        }
        if (n <= 0) {
          done_ = true;
          failed_ = n < 0;
        }
      }
      changed_.notify_all();
      if (n <= 0) return;
    }
  }

  std::unique_ptr<ByteSource> inner_;
  Block blocks_[kBlocks];
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t head_ = 0, tail_ = 0, filled_ = 0;  // under mutex_
  bool done_ = false, failed_ = false, stop_ = false;
  std::atomic<bool> stopping_{false};  // stop_, for a look without the lock
  std::size_t pos_ = 0;  // in blocks_[head_], the reader's
  std::thread worker_;
};

}  // namespace

std::unique_ptr<ByteSource> openByteSource(int fd) {
  RawInput raw(fd);
  if (!raw.sniff()) return std::make_unique<FailedSource>(readError(raw.error()));
  const unsigned char* h = raw.head();
  const std::size_t n = raw.headSize();
  if (n >= 2 && h[0] == 0x1f && h[1] == 0x8b) return std::make_unique<AheadSource>(std::make_unique<GzipSource>(raw));
  // A zstd frame, or a skippable frame (magic 0x184D2A50 to 0x184D2A5F).
  if (n >= 4 && ((h[0] == 0x28 && h[1] == 0xb5 && h[2] == 0x2f && h[3] == 0xfd) ||
                 ((h[0] & 0xf0) == 0x50 && h[1] == 0x2a && h[2] == 0x4d && h[3] == 0x18)))
    return std::make_unique<AheadSource>(std::make_unique<ZstdSource>(raw));
  return std::make_unique<PlainSource>(raw);
}

}  // namespace net1::summary
