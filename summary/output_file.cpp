#include "output_file.h"

#include <cerrno>
#include <cstring>

#include "file_io.h"

namespace net1::summary {
namespace {

// Text is handed to the file in pieces of about this size.
constexpr std::size_t kPiece = std::size_t{1} << 16;

}  // namespace

OutputFile::~OutputFile() { discard(); }

std::string OutputFile::open(const std::string& path, std::FILE* out, const char* what) {
  discard();
  path_ = path;
  what_ = what;
  error_ = 0;
  out_ = nullptr;
  if (path == "-") {
    out_ = out;
  } else if (std::string e = file_.open(path); !e.empty()) {
    return e;
  }
  open_ = true;
  return "";
}

void OutputFile::write(std::string_view text) {
  if (!open_ || error_ != 0) return;
  pending_ += text;
  if (pending_.size() >= kPiece) flush();
}

void OutputFile::flush() {
  if (error_ == 0 && !pending_.empty()) {
    if (out_) {
      if (std::fwrite(pending_.data(), 1, pending_.size(), out_) != pending_.size()) error_ = errno ? errno : EIO;
    } else {
      error_ = io::writeAll(file_.fd(), pending_.data(), pending_.size());
    }
  }
  pending_.clear();
}

std::string OutputFile::failure(const char* what) const {
  if (out_) return std::string("cannot write ") + what_ + " to standard output: " + std::strerror(error_);
  return std::string("cannot ") + what + " " + path_ + ": " + std::strerror(error_);
}

std::string OutputFile::close() {
  if (!open_) return "cannot write " + path_ + ": not open";
  open_ = false;
  flush();
  if (out_) {
    if (error_ == 0 && std::fflush(out_) != 0) error_ = errno ? errno : EIO;
    return error_ ? failure("write") : "";
  }
  if (error_ == 0) error_ = file_.close();
  if (error_ != 0) {
    discard();
    return failure("write");
  }
  return "";
}

std::string OutputFile::place() {
  if (out_) return "";
  if (int e = file_.place()) {
    error_ = e;
    return failure("put in place");
  }
  return "";
}

void OutputFile::discard() {
  file_.abandon();
  pending_.clear();
  open_ = false;
}

std::string writeOut(std::FILE* out, std::string_view text, const char* what) {
  errno = 0;
  bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  ok = std::fflush(out) == 0 && ok;
  if (ok) return "";
  return std::string("cannot write ") + what + " to standard output: " + std::strerror(errno ? errno : EIO);
}

}  // namespace net1::summary
