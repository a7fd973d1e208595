#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace net1::drivers {

Progress::Progress(std::string name, long totalSteps)
    : name_(std::move(name)), total_(totalSteps), start_(std::chrono::steady_clock::now()), lastShown_(start_) {}

Progress::~Progress() { finish(); }

bool Progress::wanted() { return ::isatty(STDERR_FILENO) == 1; }

void Progress::show(long done, double simulatedTime) {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastShown_ < std::chrono::milliseconds(250)) return;
  lastShown_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double fraction = total_ > 0 ? static_cast<double>(done) / static_cast<double>(total_) : 1.0;
  char left[32] = "?";
  if (fraction > 0) {
    const long seconds = static_cast<long>(elapsed / fraction - elapsed + 0.5);
    std::snprintf(left, sizeof left, "%ldm%02lds", seconds / 60, seconds % 60);
  }
  std::fprintf(stderr, "\r\033[K%s: step %ld of %ld (%.1f%%), time %.1f, about %s left", name_.c_str(), done,
               total_, 100.0 * fraction, simulatedTime, left);
  std::fflush(stderr);
  shown_ = true;
}

void Progress::finish() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace net1::drivers
