// The record of a run (--meta FILE): one JSON document with what was run
// (program, version, commit, command line, seed, every effective setting and
// the whole description, outputs) and how it went (start, wall time, steps, lines, exit status and
// the failure, if any). It is written under a temporary name made when the
// run starts and renamed when it is complete, also after a failed run.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "options.h"

namespace net1::io {
class AtomicOutput;
}

namespace net1::drivers {

struct RunOutcome {
  long stepsDone = 0;
  std::uint64_t linesWritten = 0;
  int exitStatus = 0;
  std::string error;  // empty: none
};

class RunRecord {
 public:
  RunRecord(std::string_view program, const CommandLine& command, int argc, const char* const* argv,
            std::uint32_t seed);
  ~RunRecord();  // removes the temporary file if the record was never written
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  // Makes the temporary file beside `path` (or opens a device, pipe or
  // stream in place); false, with error(), when it cannot be made.
  bool open(const std::string& path);
  // Writes the record and renames it into place; false, with error().
  bool write(const RunOutcome& outcome);
  const std::string& error() const { return error_; }

  // The document for that outcome, as write() writes it.
  std::string describe(const RunOutcome& outcome) const;

 private:
  struct Fields;
  std::unique_ptr<Fields> fields_;
  std::unique_ptr<io::AtomicOutput> file_;  // the record's file, or a device, pipe or stream
  bool opened_ = false;
  std::chrono::steady_clock::time_point started_;
  std::string path_;
  std::string error_;
};

}  // namespace net1::drivers
