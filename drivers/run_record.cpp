#include "run_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "build_info.h"
#include "setting_keys.h"

namespace net1::drivers {
namespace {

using Json = nlohmann::ordered_json;

// Reals as the settings file spells them: a float is given as the double
// its shortest text reads as, which reads back as the same float.
Json value(float v) { return std::strtod(realText(v).c_str(), nullptr); }
Json value(double v) { return v; }
Json value(long v) { return v; }
Json value(int v) { return v; }
Json value(bool v) { return v; }
Json value(const Range& r) { return Json::array({value(r.lo), value(r.hi)}); }
Json value(Stimulus s) { return std::string(choiceName(s)); }
Json value(DelayDraw d) { return std::string(choiceName(d)); }
Json value(const std::optional<float>& v) { return v ? value(*v) : Json(nullptr); }

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace

struct RunRecord::Fields {
  Json json;
};

RunRecord::RunRecord(const CommandLine& command, int argc, const char* const* argv, std::uint32_t seed)
    : fields_(std::make_unique<Fields>()), started_(std::chrono::steady_clock::now()) {
  const ProgramSettings& p = command.settings;
  Json& j = fields_->json;
  j["program"] = std::string(p.name);
  j["version"] = buildVersion();
  j["commit"] = buildCommit();
  j["edition"] = p.edition;
  Json line = Json::array();
  for (int i = 0; i < argc; ++i) line.push_back(argv[i]);
  j["command_line"] = line;
  j["seed"] = seed;
  Json settings = Json::object();
  forEachSetting(p, [&](const Key& key, const auto& field) { settings[keyName(key)] = value(field); });
  j["settings"] = settings;
  Json outputs = Json::array();
  for (const std::string& o : command.options.outputs) outputs.push_back(o);
  if (outputs.empty()) outputs.push_back("-");
  j["outputs"] = outputs;
  Json kinds = Json::array();
  const trace::KindSet recorded = recordedKinds(command.options);
  for (std::size_t k = 0; k < trace::kKindCount; ++k) {
    if (recorded & trace::bit(static_cast<trace::Kind>(k))) kinds.push_back(std::string(trace::kKinds[k].keyword));
  }
  j["record"] = kinds;
  j["start_time"] = utcNow();
}

RunRecord::~RunRecord() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool RunRecord::open(const std::string& path) {
  path_ = path;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error_ = "cannot write " + path + ": " + std::strerror(EISDIR);
    return false;
  }
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    // A device or a pipe (/dev/stderr) cannot be replaced; it is written in place.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) error_ = "cannot open " + path + ": " + std::strerror(errno);
    return fd_ >= 0;
  }
  std::string pattern = path + ".tmp-XXXXXX";
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error_ = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  temp_ = pattern;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd_, 0666 & ~mask) != 0) {
    error_ = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string RunRecord::describe(const RunOutcome& outcome) const {
  Json j = fields_->json;
  j["wall_seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  j["steps_done"] = outcome.stepsDone;
  j["lines_written"] = outcome.linesWritten;
  j["exit_status"] = outcome.exitStatus;
  j["error"] = outcome.error.empty() ? Json(nullptr) : Json(outcome.error);
  // Arguments need not be UTF-8; such bytes are replaced, not refused.
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool RunRecord::write(const RunOutcome& outcome) {
  if (fd_ < 0) return false;
  const std::string text = describe(outcome);
  const char* data = text.data();
  std::size_t size = text.size();
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error_ = "writing " + path_ + ": " + std::strerror(errno);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) {
    error_ = "writing " + path_ + ": " + std::strerror(errno);
    return false;
  }
  if (!temp_.empty() && ::rename(temp_.c_str(), path_.c_str()) != 0) {
    error_ = "renaming the finished record to " + path_ + ": " + std::strerror(errno);
    return false;
  }
  temp_.clear();
  return true;
}

}  // namespace net1::drivers
