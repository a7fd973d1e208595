#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace net1::drivers {
namespace {

std::string duration(double seconds) {
  if (!(seconds < 1e9)) return "ages";
  const long s = static_cast<long>(seconds + 0.5);
  char text[48];
  if (seconds < 59.95) {
    std::snprintf(text, sizeof text, "%.1fs", seconds);
  } else if (s >= 3600) {
    std::snprintf(text, sizeof text, "%ldh%02ldm%02lds", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
  }
  return text;
}

}  // namespace

Progress::Progress(std::string name, long totalSteps, double seconds)
    : name_(std::move(name)),
      total_(totalSteps),
      every_(seconds),
      start_(std::chrono::steady_clock::now()),
      lastShown_(start_) {}

Progress::~Progress() {
  if (!finished_ && every_.count() == 0) finish(0, 0);
}

bool Progress::wanted() { return ::isatty(STDERR_FILENO) == 1; }

std::string Progress::line(long done, double simulatedTime, double elapsed, bool finished) const {
  const double fraction = total_ > 0 ? static_cast<double>(done) / static_cast<double>(total_) : 1.0;
  std::string left = "?";
  if (fraction > 0) left = duration(elapsed / fraction - elapsed);
  char text[256];
  std::snprintf(text, sizeof text, "%s: step %ld of %ld (%.1f%%), time %.1f, elapsed %s, %s%s", name_.c_str(), done,
                total_, 100.0 * fraction, simulatedTime, duration(elapsed).c_str(),
                finished ? "loop done" : "about ", finished ? "" : (left + " left").c_str());
  return text;
}

void Progress::show(long done, double simulatedTime) {
  const auto now = std::chrono::steady_clock::now();
  const bool lines = every_.count() > 0;
  if (now - lastShown_ < (lines ? every_ : std::chrono::duration<double>(0.25))) return;
  lastShown_ = now;
  const std::string text = line(done, simulatedTime, std::chrono::duration<double>(now - start_).count(), false);
  if (lines) {
    std::fprintf(stderr, "%s\n", text.c_str());
  } else {
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    shown_ = true;
  }
  std::fflush(stderr);
}

void Progress::finish(long done, double simulatedTime) {
  finished_ = true;
  if (every_.count() > 0) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(stderr, "%s\n", line(done, simulatedTime, elapsed, true).c_str());
  } else if (shown_) {
    std::fputs("\r\033[K", stderr);
    shown_ = false;
  }
  std::fflush(stderr);
}

}  // namespace net1::drivers
