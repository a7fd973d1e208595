// Where a run's trace goes: standard output, or files, each written under a
// temporary name beside its target and renamed only when the run has
// completed, so that a failed run never leaves (or replaces) a file under
// the final name. A name ending in ".zst" is compressed by libzstd's own
// worker threads, beside the simulation. Several outputs get the same bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trace_stream.h"

namespace net1::drivers {

// The number of zstd's worker threads per ".zst" output, set by the build
// (NET1_ZSTD_WORKERS). One worker compresses beside the simulation.
#ifndef NET1_ZSTD_WORKERS
#define NET1_ZSTD_WORKERS 1
#endif
inline constexpr int kZstdWorkers = NET1_ZSTD_WORKERS;

class TraceOutputs {
 public:
  // `names`: "-" is standard output; none means standard output. With
  // `countLines`, lines() counts the lines written.
  TraceOutputs(std::vector<std::string> names, bool countLines);
  ~TraceOutputs();  // abandons what was not committed
  TraceOutputs(const TraceOutputs&) = delete;
  TraceOutputs& operator=(const TraceOutputs&) = delete;

  // Makes every temporary file; false, with error(), when one cannot be
  // made (those made are removed again).
  bool open();
  Stream& stream() { return *stream_; }

  // After a completed run: flushes, ends the compressed frames, closes and
  // renames every file to its name. False, with error(), when any byte
  // could not be written; then no file gets its name.
  bool commit();
  // A failed run: removes every temporary file. Allocates nothing, so that
  // it can run while the process exits.
  void abandon();
  // The run stopped on a failed write: finds which output failed, for
  // error(), and abandons every file.
  void abandonAfterError();

  // The first failure, as "writing NAME: REASON"; empty if none.
  const std::string& error() const { return error_; }
  // True when the trace goes to files only, or to files and standard output.
  bool hasFiles() const;
  std::uint64_t lines() const;

  struct Destination;  // one output: a file or standard output, compressed or not

 private:
  class Fanout;
  std::vector<std::string> names_;
  bool countLines_;
  std::vector<std::unique_ptr<Destination>> destinations_;
  std::unique_ptr<Fanout> fanout_;
  std::unique_ptr<Stream> ownStream_;
  Stream* stream_ = nullptr;
  std::string error_;
  bool finished_ = false;
};

}  // namespace net1::drivers
