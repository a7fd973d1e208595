// Output streams for trace and report lines.
//
// Lines are built field by field straight into a large buffer and written
// out in big blocks; the bytes are exactly those of C's formatted output
// for "%f", "%d" and "%s". Several kinds of line can share one stream, so a
// merged stream keeps the engine's own line order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "trace_grammar.h"

namespace net1 {

// Where a stream's bytes go when they go neither to a file descriptor nor
// to memory: a compressor, several destinations at once. It is handed the
// stream's buffer in large blocks, in order.
class Sink {
 public:
  virtual ~Sink() = default;
  // Takes the bytes; returns 0, or an errno value when they could not be
  // written. After a failure the stream gives it nothing more.
  virtual int write(const char* data, std::size_t size) = 0;
};

class Stream {
 public:
  // A stream onto an open file descriptor; `owned` descriptors are closed by close().
  Stream(int fd, bool owned);
  // A stream that collects everything in memory (for tests and tools).
  explicit Stream(std::string* memory);
  // A stream onto a sink, which must outlive it.
  explicit Stream(Sink* sink);
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream();

  Stream& put(char c) {
    settle();
    if (length_ == capacity_) drain();
    buffer_[length_++] = c;
    return *this;
  }
  Stream& text(std::string_view s);
  Stream& integer(long long value) {  // "%d"
    settle();
    reserve(kLongestInteger);
    done(integerInto(buffer_ + length_, value));
    return *this;
  }
  Stream& fixed(double value) {  // "%f": fixed notation, six decimals
    settle();
    reserve(kLongestFixed);
    done(fixedInto(buffer_ + length_, value));
    return *this;
  }

  // A whole line written in place, for the lines written most: room(n)
  // makes room for n bytes and returns where the line starts, the fields
  // are written with the *Into functions, each returning its end, and
  // done() takes the end of the line.
  static constexpr std::size_t kLongestInteger = 24;
  // "%f" of a double: up to 309 integer digits, sign, point and six decimals.
  static constexpr std::size_t kLongestFixed = 320;
  char* room(std::size_t n) {
    settle();
    return formatRoom(n);
  }
  // room() for the thread that formats queued lines (see below).
  char* formatRoom(std::size_t n) {
    reserve(n);
    return buffer_ + length_;
  }
  void done(char* end) { length_ = static_cast<std::size_t>(end - buffer_); }
  static char* textInto(char* at, std::string_view s) {
    std::memcpy(at, s.data(), s.size());
    return at + s.size();
  }
  static char* integerInto(char* at, long long value);
  char* fixedInto(char* at, double value);

  // The kinds of line this stream records; the others are not written, nor
  // even formatted. Every kind, unless set otherwise.
  void record(trace::KindSet kinds) { kinds_ = kinds; }
  bool records(trace::Kind kind) const { return (kinds_ & trace::bit(kind)) != 0; }

  // Lines of `kinds` are also handed, as their values and before any text
  // is made of them, to `collect` (with `to`), in the writer's thread: a
  // program keeps them in memory without formatting or parsing text.
  void collect(trace::KindSet kinds, trace::Collect collect, void* to) {
    collectKinds_ = kinds;
    collect_ = collect;
    collectTo_ = to;
  }
  // Whether a line of this kind is wanted at all: written or collected.
  bool wants(trace::Kind kind) const { return ((kinds_ | collectKinds_) & trace::bit(kind)) != 0; }
  bool collects(trace::Kind kind) const { return (collectKinds_ & trace::bit(kind)) != 0; }
  void collected(trace::Kind kind, const trace::Value* values, std::size_t count) {
    collect_(collectTo_, kind, values, count);
  }

  // From here until formatHere(), trace lines are queued as their values
  // and turned into text by a thread of the stream's own, in the order they
  // were written, while the caller goes on; anything else written to the
  // stream first waits until the queue is empty. Formatting is most of the
  // cost of writing a trace, and a second core would otherwise idle. With
  // one core, or no thread to be had, lines are formatted in place as before.
  void formatOnThread();
  void formatHere();
  bool queues() const { return queue_ != nullptr; }
  // A queued line, as trace::line writes it: room for up to n bytes, then
  // its end. A queued line starts with the function that formats it.
  using QueuedLine = const std::byte* (*)(Stream& s, const std::byte* values);
  std::byte* queueRoom(std::size_t n) {
    if (static_cast<std::size_t>(queueEnd_ - queueAt_) < n) handOff();
    return queueAt_;
  }
  void queued(std::byte* end) { queueAt_ = end; }

  void flush();
  // Flushes and, for an owned descriptor, closes it. Nothing may be written afterwards.
  void close();
  // The first write error (an errno value), or 0 when every write succeeded.
  int error() const { return error_.load(std::memory_order_relaxed); }
  bool isStandardOutput() const;

 private:
  struct LineQueue;
  // Waits until every queued line is text in the buffer.
  void settle() {
    if (queue_) waitForQueue();
  }
  void waitForQueue();
  void handOff();

  void reserve(std::size_t n) {
    if (capacity_ - length_ < n) drain();
  }
  void drain();
  void writeOut(const char* data, std::size_t size);

  int fd_ = -1;
  bool owned_ = false;
  std::string* memory_ = nullptr;
  Sink* sink_ = nullptr;
  trace::KindSet kinds_ = trace::kAllKinds;
  trace::KindSet collectKinds_ = 0;
  trace::Collect collect_ = nullptr;
  void* collectTo_ = nullptr;
  char* buffer_ = nullptr;
  std::size_t length_ = 0;
  std::size_t capacity_ = 0;
  std::atomic<int> error_ = 0;  // set by whichever thread writes
  LineQueue* queue_ = nullptr;
  std::byte* queueAt_ = nullptr;  // the end of the lines queued in the current block
  std::byte* queueEnd_ = nullptr;
  // The last number written by fixed(), as bits, and its text: lines of one
  // instant repeat the same time, which is then copied instead of formatted.
  std::uint64_t lastFixedBits_ = 0;
  std::uint8_t lastFixedLength_ = 0;
  char lastFixed_[40] = {};
};

// The process's standard output. Everything a program prints goes through
// it, so trace lines, the switch-off line, the report and a fatal message
// come out in the order they were produced.
Stream* standardOutput();
// The same, or null while it has not been made (or is being made).
Stream* standardOutputIfMade();

}  // namespace net1
