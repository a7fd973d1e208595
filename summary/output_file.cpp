#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace net1::summary {

OutputFile::~OutputFile() { discard(); }

std::string OutputFile::open(const std::string& path, std::FILE* out, const char* what) {
  path_ = path;
  what_ = what;
  if (path == "-") {
    toOut_ = true;
    file_ = out;
    return "";
  }
  // The process id keeps two runs writing the same file apart; O_EXCL
  // never takes over a file that is already there.
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = path + ".tmp" + std::to_string(::getpid()) + (attempt ? "-" + std::to_string(attempt) : "");
    int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      file_ = ::fdopen(fd, "wb");
      if (!file_) {
        error_ = errno;
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        return "cannot write " + path + ": " + std::strerror(error_);
      }
      return "";
    }
    if (errno != EEXIST) break;
  }
  std::string message = "cannot write " + path + ": " + std::strerror(errno);
  temp_.clear();
  return message;
}

void OutputFile::write(std::string_view text) {
  if (!file_ || error_ != 0) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) error_ = errno ? errno : EIO;
}

std::string OutputFile::failure(const char* what) const {
  if (toOut_) return std::string("cannot write ") + what_ + " to standard output: " + std::strerror(error_);
  return std::string("cannot ") + what + " " + path_ + ": " + std::strerror(error_);
}

std::string OutputFile::close() {
  if (!file_) return "cannot write " + path_ + ": not open";
  if (error_ == 0 && std::fflush(file_) != 0) error_ = errno ? errno : EIO;
  if (toOut_) {
    file_ = nullptr;
    return error_ ? failure("write") : "";
  }
  if (std::fclose(file_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
  file_ = nullptr;
  if (error_ != 0) {
    discard();
    return failure("write");
  }
  return "";
}

std::string OutputFile::place() {
  if (temp_.empty()) return "";
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    error_ = errno;
    discard();
    return failure("put in place");
  }
  temp_.clear();
  return "";
}

void OutputFile::discard() {
  if (file_ && !toOut_) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

std::string writeOut(std::FILE* out, std::string_view text, const char* what) {
  errno = 0;
  bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  ok = std::fflush(out) == 0 && ok;
  if (ok) return "";
  return std::string("cannot write ") + what + " to standard output: " + std::strerror(errno ? errno : EIO);
}

}  // namespace net1::summary
