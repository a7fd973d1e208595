// Progress of a long run on standard error; standard output stays exactly
// the trace. On a terminal one line is redrawn in place; with an interval
// (--progress SECONDS) a full line is written every so often, which is what
// a batch log can keep.
#pragma once

#include <chrono>
#include <string>

namespace net1::drivers {

class Progress {
 public:
  // `seconds` > 0: a line every `seconds`; 0: the terminal's redrawn line.
  Progress(std::string name, long totalSteps, double seconds = 0);
  ~Progress();
  // Cheap enough for every step: the clock is read only now and then.
  void step(long done, double simulatedTime) {
    if ((done & 1023) == 0) show(done, simulatedTime);
  }
  // The run's loop has ended after `done` steps.
  void finish(long done, double simulatedTime);
  static bool wanted();  // standard error is a terminal

 private:
  void show(long done, double simulatedTime);
  std::string line(long done, double simulatedTime, double elapsed, bool finished) const;

  std::string name_;
  long total_;
  std::chrono::duration<double> every_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastShown_;
  bool shown_ = false;
  bool finished_ = false;
};

}  // namespace net1::drivers
