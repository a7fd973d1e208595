#include "run_record.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "atomic_output.h"
#include "build_info.h"
#include "file_io.h"
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
    : fields_(std::make_unique<Fields>()),
      file_(std::make_unique<io::AtomicOutput>()),
      started_(std::chrono::steady_clock::now()) {
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

RunRecord::~RunRecord() = default;

bool RunRecord::open(const std::string& path) {
  path_ = path;
  error_ = file_->open(path);
  opened_ = error_.empty();
  return opened_;
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
  if (!opened_) return false;
  opened_ = false;
  const std::string text = describe(outcome);
  int error = io::writeAll(file_->fd(), text.data(), text.size());
  if (error == 0) error = file_->close();
  if (error != 0) {
    file_->abandon();
    error_ = "writing " + path_ + ": " + std::strerror(error);
    return false;
  }
  if (int e = file_->place()) {
    error_ = "renaming the finished record to " + path_ + ": " + std::strerror(e);
    return false;
  }
  return true;
}

}  // namespace net1::drivers
