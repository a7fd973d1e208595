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
#include "field_values.h"
#include "keys.h"

namespace net1::drivers {
namespace {

// The description as its TOML file holds it, part by part.
template <class Spec>
Json fieldsJson(const Spec& spec, Json object) {
  forEachField(spec, [&](const Field& field, const auto& value) {
    Json v = valueJson(value);
    if (!v.is_null()) object[std::string(field.name)] = std::move(v);
  });
  return object;
}

Json descriptionJson(const Description& d) {
  Json j = Json::object();
  j["run"] = fieldsJson(d.run, Json::object());
  Json groups = Json::array();
  for (const GroupSpec& g : d.groups) groups.push_back(fieldsJson(g, Json{{"name", g.name}}));
  j["group"] = groups;
  Json pathways = Json::array();
  for (const PathwaySpec& p : d.pathways) {
    Json head = Json::object();
    if (!p.name.empty()) head["name"] = p.name;
    head["from"] = p.from;
    head["to"] = p.to;
    pathways.push_back(fieldsJson(p, head));
  }
  j["pathway"] = pathways;
  Json stimuli = Json::array();
  for (const StimulusSpec& s : d.stimuli) stimuli.push_back(fieldsJson(s, Json{{"name", s.name}}));
  j["stimulus"] = stimuli;
  return j;
}

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

RunRecord::RunRecord(std::string_view program, const CommandLine& command, int argc, const char* const* argv,
                     std::uint32_t seed)
    : fields_(std::make_unique<Fields>()), started_(std::chrono::steady_clock::now()) {
  const Description& d = command.description;
  Json& j = fields_->json;
  j["program"] = std::string(program);
  j["version"] = buildVersion();
  j["commit"] = buildCommit();
  j["edition"] = d.run.edition;
  j["description_from"] = command.baseName;
  Json line = Json::array();
  for (int i = 0; i < argc; ++i) line.push_back(argv[i]);
  j["command_line"] = line;
  j["seed"] = seed;
  Json settings = Json::object();
  forEachKey(d, [&](const std::string& key, const Field&, const auto& value) { settings[key] = valueJson(value); });
  j["settings"] = settings;
  j["description"] = descriptionJson(d);
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
