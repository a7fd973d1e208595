#pragma once
// An output that appears whole or not at all.
//
// A file is written under a temporary name beside its target
// (NAME.tmp-XXXXXX, shortened when NAME is too long to take the suffix) and
// renamed onto it when complete, so that a file under the name is always a
// whole one and an older file of that name is kept until then. Devices,
// pipes and the standard streams cannot be replaced and are written in
// place (see output_target.h); a symbolic link is followed to its target.

#include <string>

#include "output_target.h"
#include "temporaries.h"

namespace net1::io {

class AtomicOutput {
 public:
  AtomicOutput() = default;
  ~AtomicOutput();  // abandons an output that was not committed
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Makes the temporary file for name ("-": standard output), or opens the
  // device, pipe or stream in place. Returns "", or the reason as
  // "cannot create NAME: REASON" ("cannot open" for a device or pipe,
  // "cannot write" for a folder).
  std::string open(const std::string& name);
  // Where to write, once open.
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }
  // Written in place: nothing to rename, and a failure cannot be undone.
  bool inPlace() const { return target_.kind != TargetKind::replace; }

  // Closes what open() opened (a stream stays open). Returns 0 or the errno
  // of the close that failed; the output is then abandoned.
  int close();
  // Renames the closed temporary file onto the name. Returns 0 or the errno
  // of the rename that failed; the output is then abandoned.
  int place();
  // close(), then place().
  int commit();
  // Closes and removes the temporary file. Allocates nothing and may run in
  // a signal handler or while the process exits.
  void abandon();

 private:
  std::string name_;
  OutputTarget target_;
  int fd_ = -1;
  bool ownsFd_ = false;
  Temporary temp_;  // listed while the temporary file exists
};

}  // namespace net1::io
