#pragma once
// Temporary files that must not outlive the process that writes them.
//
// Each temporary file is listed here while it exists. A process that calls
// removeTemporariesOnStop() removes every listed file when SIGINT, SIGTERM,
// SIGHUP or SIGPIPE stops it, and then ends by that same signal, so that
// its exit status (128 + N) says what stopped it.

#include <csignal>

namespace net1::io {

// A temporary file: its folder (an open descriptor) and its name in it.
struct Temporary {
  int folder = -1;
  char name[256] = {};
};

// Lists t, which must stay where it is until it is unlisted. False when the
// list is full (then a stop leaves that file behind).
bool listTemporary(const Temporary* t);
void unlistTemporary(const Temporary* t);

// Installs the handlers that remove every listed temporary file on SIGINT,
// SIGTERM, SIGHUP and SIGPIPE, then end the process by the signal. SIGXFSZ
// is ignored, so that a file grown past its size limit is a failed write,
// reported and cleaned up like any other.
void removeTemporariesOnStop();

// Holds the stop signals back in this thread while it lives: making a
// temporary file and listing it (or renaming it and unlisting it) happen
// together or not at all. A thread started meanwhile inherits the mask, so
// that the stop handlers always run on the thread that keeps the list.
class StopSignalsHeld {
 public:
  StopSignalsHeld();
  ~StopSignalsHeld();
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

 private:
  sigset_t before_;
};

}  // namespace net1::io
