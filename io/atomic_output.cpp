#include "atomic_output.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace net1::io {
namespace {

constexpr const char kSuffix[] = ".tmp-";
constexpr std::size_t kRandomChars = 6;

// The temporary file's name for a target called base, in a folder that
// takes names of up to nameMax bytes: base.tmp-XXXXXX, with base cut short
// (at a character boundary) when the whole would be too long.
std::string temporaryName(const std::string& base, std::size_t nameMax) {
  const std::size_t suffix = sizeof kSuffix - 1 + kRandomChars;
  std::size_t keep = base.size();
  if (keep + suffix > nameMax) {
    keep = nameMax > suffix ? nameMax - suffix : 0;
    // Not in the middle of a UTF-8 character.
    while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) --keep;
  }
  return base.substr(0, keep) + kSuffix;
}

void addRandomChars(std::string& name) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[kRandomChars];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // No entropy yet (early at boot): the clock and the process id still
    // keep apart the few writers of one folder; O_EXCL does the rest.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t x = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32);
    for (auto& b : bytes) b = static_cast<unsigned char>((x = x * 6364136223846793005u + 1442695040888963407u) >> 56);
  }
  for (unsigned char b : bytes) name += kChars[b % (sizeof kChars - 1)];
}

std::string problem(const char* what, const std::string& name, int error) {
  return std::string(what) + " " + (name == "-" ? "standard output" : name) + ": " + std::strerror(error);
}

}  // namespace

AtomicOutput::~AtomicOutput() { abandon(); }

std::string AtomicOutput::open(const std::string& name) {
  abandon();
  name_ = name;
  if (int error = resolveOutput(name, target_)) return problem(error == EISDIR ? "cannot write" : "cannot create", name, error);
  switch (target_.kind) {
    case TargetKind::stream:
      // Written through the descriptor the process holds; one that is
      // closed is found out here, not at the first write.
      if (::fcntl(target_.fd, F_GETFL) < 0) return problem("cannot open", name, errno);
      fd_ = target_.fd;
      ownsFd_ = false;
      return "";
    case TargetKind::inPlace:
      fd_ = ::open(target_.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (fd_ < 0) return problem("cannot open", name, errno);
      ownsFd_ = true;
      return "";
    case TargetKind::replace:
      break;
  }
  std::string folder, base;
  splitPath(target_.path, folder, base);
  if (base.empty()) return problem("cannot create", name, EISDIR);
  const int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return problem("cannot create", name, errno);
  // The name must also fit the list of temporaries, whatever the folder takes.
  const long nameMax = ::fpathconf(dir, _PC_NAME_MAX);
  const std::size_t room = sizeof temp_.name - 1;
  const std::string stem =
      temporaryName(base, nameMax > 0 && static_cast<std::size_t>(nameMax) < room ? static_cast<std::size_t>(nameMax) : room);
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    std::string temp = stem;
    addRandomChars(temp);
    // Made and listed together, so that a stop signal finds every file made.
    StopSignalsHeld held;
    const int fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      error = errno;
      continue;
    }
    temp_.folder = dir;
    std::memcpy(temp_.name, temp.c_str(), temp.size() + 1);
    listTemporary(&temp_);
    fd_ = fd;
    ownsFd_ = true;
    return "";
  }
  ::close(dir);
  return problem("cannot create", name, error);
}

int AtomicOutput::close() {
  if (!ownsFd_) {
    fd_ = -1;
    return 0;
  }
  const int closed = ::close(fd_);
  const int error = errno;
  fd_ = -1;
  ownsFd_ = false;
  if (closed != 0 && error != EINTR) {
    abandon();
    return error;
  }
  return 0;
}

int AtomicOutput::place() {
  if (temp_.folder < 0) return 0;
  std::string folder, base;
  splitPath(target_.path, folder, base);
  StopSignalsHeld held;
  if (::renameat(temp_.folder, temp_.name, temp_.folder, base.c_str()) != 0) {
    const int error = errno;
    abandon();
    return error;
  }
  unlistTemporary(&temp_);
  ::close(temp_.folder);
  temp_.folder = -1;
  return 0;
}

int AtomicOutput::commit() {
  if (int error = close()) return error;
  return place();
}

void AtomicOutput::abandon() {
  if (ownsFd_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ownsFd_ = false;
  if (temp_.folder >= 0) {
    ::unlinkat(temp_.folder, temp_.name, 0);
    unlistTemporary(&temp_);
    ::close(temp_.folder);
    temp_.folder = -1;
  }
}

}  // namespace net1::io
