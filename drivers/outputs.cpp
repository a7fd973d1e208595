#include "outputs.h"

#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "atomic_output.h"
#include "file_io.h"
#include "core.h"

namespace net1::drivers {

struct TraceOutputs::Destination {
  std::string name;  // as given; "-" is standard output
  io::AtomicOutput file;
  ZSTD_CCtx* zstd = nullptr;
  std::vector<char> packed;  // compressed bytes on their way to the file
  std::string problem;       // the first failure

  ~Destination() {
    if (zstd) ZSTD_freeCCtx(zstd);
  }

  std::string label() const { return name == "-" ? "standard output" : name; }

  // "writing run.zst: No space left on device"
  int fail(int error, const std::string& what) {
    if (problem.empty()) problem = what + " " + label() + ": " + std::strerror(error);
    return error;
  }

  int writeRaw(const char* data, std::size_t size) {
    if (int error = io::writeAll(file.fd(), data, size)) return fail(error, "writing");
    return 0;
  }

  // Feeds zstd until it has taken every byte (or, at the end, until the
  // frame is complete), writing out what it gives back.
  int compress(const char* data, std::size_t size, ZSTD_EndDirective mode) {
    ZSTD_inBuffer in{data, size, 0};
    for (;;) {
      ZSTD_outBuffer out{packed.data(), packed.size(), 0};
      const std::size_t left = ZSTD_compressStream2(zstd, &out, &in, mode);
      if (ZSTD_isError(left)) {
        if (problem.empty()) problem = "compressing " + label() + ": " + ZSTD_getErrorName(left);
        return EIO;
      }
      if (out.pos > 0) {
        if (int error = writeRaw(packed.data(), out.pos)) return error;
      }
      const bool done = mode == ZSTD_e_end ? left == 0 : in.pos == in.size;
      if (done) return 0;
    }
  }

  int write(const char* data, std::size_t size) {
    return zstd ? compress(data, size, ZSTD_e_continue) : writeRaw(data, size);
  }

  bool finish() {
    if (zstd && compress(nullptr, 0, ZSTD_e_end) != 0) return false;
    if (int error = file.close()) return fail(error, "writing"), false;
    return true;
  }

  void abandon() { file.abandon(); }

  // Makes the temporary file, or opens a device, pipe or stream in place.
  bool open() {
    if (std::string e = file.open(name); !e.empty()) {
      if (problem.empty()) problem = e;
      return false;
    }
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zst") == 0) {
      zstd = ZSTD_createCCtx();
      if (!zstd) fatal("\nbad calloc");
      // Tuned on traces: a trace repeats what it wrote a few lines before,
      // so zstd's fast level 2 with a tiny hash table (2^8 entries, which
      // keeps only recent positions) and matches from 5 bytes compresses
      // better than its defaults up to level 7, as fast as level 1: a full
      // exp-stdp-av trace to about 19% of its size instead of 20.6%.
      ZSTD_CCtx_setParameter(zstd, ZSTD_c_compressionLevel, 2);
      ZSTD_CCtx_setParameter(zstd, ZSTD_c_hashLog, 8);
      ZSTD_CCtx_setParameter(zstd, ZSTD_c_minMatch, 5);
      ZSTD_CCtx_setParameter(zstd, ZSTD_c_checksumFlag, 1);
      // Without worker threads (a zstd built without them) compression
      // runs in this thread; the bytes are the same either way.
      ZSTD_CCtx_setParameter(zstd, ZSTD_c_nbWorkers, kZstdWorkers);
      packed.resize(ZSTD_CStreamOutSize());
    }
    return true;
  }

  bool rename() {
    if (int error = file.place()) return fail(error, "renaming the finished file to"), false;
    return true;
  }
};

// Hands every block of the stream to each output in turn, counting lines.
class TraceOutputs::Fanout : public Sink {
 public:
  Fanout(std::vector<Destination*> to, bool countLines) : to_(std::move(to)), countLines_(countLines) {}
  int write(const char* data, std::size_t size) override {
    if (countLines_) lines += static_cast<std::uint64_t>(std::count(data, data + size, '\n'));
    for (Destination* d : to_) {
      if (int error = d->write(data, size)) return error;
    }
    return 0;
  }
  std::uint64_t lines = 0;

 private:
  std::vector<Destination*> to_;
  bool countLines_;
};

TraceOutputs::TraceOutputs(std::vector<std::string> names, bool countLines)
    : names_(std::move(names)), countLines_(countLines) {
  if (names_.empty()) names_.push_back("-");
}

TraceOutputs::~TraceOutputs() {
  if (!finished_) abandon();
}

bool TraceOutputs::hasFiles() const {
  return std::any_of(names_.begin(), names_.end(), [](const std::string& n) { return n != "-"; });
}

std::uint64_t TraceOutputs::lines() const { return fanout_ ? fanout_->lines : 0; }

bool TraceOutputs::open() {
  // Standard output alone goes through the process's own stream, so that a
  // fatal message lands after everything written before it.
  if (names_.size() == 1 && names_[0] == "-" && !countLines_) {
    stream_ = standardOutput();
    return true;
  }
  std::vector<Destination*> to;
  for (const std::string& name : names_) {
    destinations_.push_back(std::make_unique<Destination>());
    Destination& d = *destinations_.back();
    d.name = name;
    if (!d.open()) {
      error_ = d.problem;
      abandon();
      return false;
    }
    to.push_back(&d);
  }
  fanout_ = std::make_unique<Fanout>(std::move(to), countLines_);
  ownStream_ = std::make_unique<Stream>(fanout_.get());
  stream_ = ownStream_.get();
  return true;
}

bool TraceOutputs::commit() {
  stream_->flush();
  bool ok = stream_->error() == 0;
  for (auto& d : destinations_) ok = ok && d->finish();
  for (auto& d : destinations_) ok = ok && d->rename();
  if (!ok) abandonAfterError();
  finished_ = true;
  return ok;
}

void TraceOutputs::abandonAfterError() {
  stream_->flush();
  for (auto& d : destinations_) {
    if (error_.empty() && !d->problem.empty()) error_ = d->problem;
  }
  if (error_.empty()) {
    const int e = stream_->error();
    error_ = std::string("writing ") + (destinations_.empty() ? "standard output" : "the trace") + ": " +
             (e ? std::strerror(e) : "the run stopped early");
  }
  abandon();
}

void TraceOutputs::abandon() {
  for (auto& d : destinations_) d->abandon();
  finished_ = true;
}

}  // namespace net1::drivers
