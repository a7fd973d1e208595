// A progress line on standard error for long runs, shown only when standard
// error is a terminal; standard output stays exactly the trace.
#pragma once

#include <chrono>
#include <string>

namespace net1::drivers {

class Progress {
 public:
  Progress(std::string name, long totalSteps);
  ~Progress();
  // Cheap enough for every step: the clock is read only now and then.
  void step(long done, double simulatedTime) {
    if ((done & 1023) == 0) show(done, simulatedTime);
  }
  void finish();
  static bool wanted();  // standard error is a terminal

 private:
  void show(long done, double simulatedTime);

  std::string name_;
  long total_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastShown_;
  bool shown_ = false;
};

}  // namespace net1::drivers
