#include "temporaries.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace net1::io {
namespace {

// Far more files than any program here keeps open at once.
constexpr int kSlots = 256;
std::atomic<const Temporary*> slots[kSlots];

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kStopSignals) sigaddset(&set, s);
  return set;
}

extern "C" void removeAndStop(int signal) {
  for (auto& slot : slots) {
    if (const Temporary* t = slot.load(std::memory_order_acquire)) ::unlinkat(t->folder, t->name, 0);
  }
  // SA_RESETHAND has put the default action back: the signal, held until
  // this handler returns, then ends the process.
  ::raise(signal);
}

}  // namespace

bool listTemporary(const Temporary* t) {
  for (auto& slot : slots) {
    const Temporary* empty = nullptr;
    if (slot.compare_exchange_strong(empty, t, std::memory_order_acq_rel)) return true;
  }
  return false;
}

void unlistTemporary(const Temporary* t) {
  for (auto& slot : slots) {
    const Temporary* mine = t;
    if (slot.compare_exchange_strong(mine, nullptr, std::memory_order_acq_rel)) return;
  }
}

void removeTemporariesOnStop() {
  struct sigaction action {};
  action.sa_handler = removeAndStop;
  // One handler at a time: a second signal waits until the first has
  // removed the files and ended the process.
  action.sa_mask = stopSignals();
  action.sa_flags = SA_RESETHAND;
  for (int s : kStopSignals) ::sigaction(s, &action, nullptr);
  ::signal(SIGXFSZ, SIG_IGN);
}

StopSignalsHeld::StopSignalsHeld() {
  const sigset_t set = stopSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, &before_);
}

StopSignalsHeld::~StopSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

}  // namespace net1::io
