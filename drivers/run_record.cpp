#include "run_record.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "atomic_output.h"
#include "build_info.h"
#include "field_values.h"
#include "file_io.h"
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
    : fields_(std::make_unique<Fields>()),
      file_(std::make_unique<io::AtomicOutput>()),
      started_(std::chrono::steady_clock::now()) {
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
