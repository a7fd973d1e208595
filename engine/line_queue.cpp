// The queue of a stream that formats its lines on a thread of its own.
//
// Lines are queued into one of two blocks while the thread formats the
// other, so the caller waits only when it fills a block before the thread
// has emptied the other one, and the memory stays two blocks whatever the
// trace. The thread is the only writer of the stream's text buffer while
// lines are queued; a handshake under the mutex passes the buffer back.
#include <sched.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "core.h"
#include "trace_stream.h"

namespace net1 {
namespace {

// Some thousands of lines: a hand-off now and then, not per line.
constexpr std::size_t kBlockSize = 1 << 18;

bool secondCoreAvailable() {
  cpu_set_t cpus;
  return sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 1;
}

}  // namespace

struct Stream::LineQueue {
  std::byte* blocks[2] = {};
  int filling = 0;                 // the block lines are queued into
  const std::byte* handed = nullptr;  // a block for the thread; null once it is text
  std::size_t handedLength = 0;
  bool stop = false;
  std::mutex mutex;
  std::condition_variable changed;
  std::thread thread;

  void formatBlocks(Stream& stream) {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return handed != nullptr || stop; });
      if (!handed) return;
      const std::byte* at = handed;
      const std::byte* end = handed + handedLength;
      lock.unlock();
      while (at < end) {
        QueuedLine format;
        std::memcpy(&format, at, sizeof format);
        at = format(stream, at + sizeof format);
      }
      lock.lock();
      handed = nullptr;
      changed.notify_all();
    }
  }
};

void Stream::formatOnThread() {
  if (queue_ || !secondCoreAvailable()) return;
  auto* queue = new LineQueue;
  queue->blocks[0] = static_cast<std::byte*>(allocMem(kBlockSize));
  queue->blocks[1] = static_cast<std::byte*>(allocMem(kBlockSize));
  try {
    queue->thread = std::thread([this, queue] { queue->formatBlocks(*this); });
  } catch (const std::system_error&) {  // no thread to be had: format in place
    std::free(queue->blocks[0]);
    std::free(queue->blocks[1]);
    delete queue;
    return;
  }
  queue_ = queue;
  queueAt_ = queue->blocks[0];
  queueEnd_ = queue->blocks[0] + kBlockSize;
}

void Stream::handOff() {
  LineQueue& q = *queue_;
  const std::byte* block = q.blocks[q.filling];
  std::unique_lock lock(q.mutex);
  q.changed.wait(lock, [&q] { return q.handed == nullptr; });
  q.handed = block;
  q.handedLength = static_cast<std::size_t>(queueAt_ - block);
  q.changed.notify_all();
  q.filling = 1 - q.filling;
  queueAt_ = q.blocks[q.filling];
  queueEnd_ = queueAt_ + kBlockSize;
}

void Stream::waitForQueue() {
  LineQueue& q = *queue_;
  // The thread itself never waits for its own queue (a fatal error while it
  // writes reports on it).
  if (std::this_thread::get_id() == q.thread.get_id()) return;
  if (queueAt_ != q.blocks[q.filling]) handOff();
  std::unique_lock lock(q.mutex);
  q.changed.wait(lock, [&q] { return q.handed == nullptr; });
}

void Stream::formatHere() {
  if (!queue_ || std::this_thread::get_id() == queue_->thread.get_id()) return;
  waitForQueue();
  {
    std::lock_guard lock(queue_->mutex);
    queue_->stop = true;
  }
  queue_->changed.notify_all();
  queue_->thread.join();
  std::free(queue_->blocks[0]);
  std::free(queue_->blocks[1]);
  delete queue_;
  queue_ = nullptr;
  queueAt_ = queueEnd_ = nullptr;
}

}  // namespace net1
