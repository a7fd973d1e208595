#include "csv_tables.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "summary_text.h"
#include "text_format.h"

namespace net1::summary {
namespace {

class Csv {
 public:
  Csv& operator<<(std::string_view field) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += csvField(field);
    return *this;
  }
  Csv& operator<<(std::uint64_t v) { return *this << std::to_string(v); }
  Csv& operator<<(std::int64_t v) { return *this << std::to_string(v); }
  Csv& operator<<(const char* s) { return *this << std::string_view(s); }
  Csv& operator<<(const std::string& s) { return *this << std::string_view(s); }
  void endRow() {
    out_ += '\n';
    first_ = true;
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
  bool first_ = true;
};

std::string reportStateName(ReportState r) {
  switch (r) {
    case ReportState::none: return "none";
    case ReportState::complete: return "complete";
    case ReportState::incomplete: return "incomplete";
  }
  return "";
}

}  // namespace

std::string binsCsv(const TraceStats& s) {
  const TimeBins& bins = s.bins();
  const auto& groups = s.groups();
  const auto& paths = s.pathways();
  Csv csv;
  csv << "t_start" << "t_end";
  for (const auto& g : groups) csv << "spk_" + g.name;
  for (const auto& g : groups) csv << "rate_" + g.name;
  csv << "swon" << "swoff";
  for (const auto& p : paths) csv << "swon_" + p.name;
  for (const auto& p : paths) csv << "swoff_" + p.name;
  for (const auto& p : paths) csv << "active_" + p.name;
  csv.endRow();

  // A rate covers only the part of its bin inside the trace's time range, so
  // the first and last bins, mostly partly covered, do not read low.
  auto covered = [&](std::size_t i) {
    Ticks from = std::max(bins.binStart(i), s.minTime());
    Ticks to = std::min(bins.binStart(i) + bins.width(), s.maxTime());
    return to > from ? static_cast<double>(to - from) / kTicksPerUnit : 0.0;
  };
  std::vector<std::int64_t> active;
  for (const auto& p : paths) active.push_back(p.start);
  for (std::size_t i = 0; i < bins.binCount(); ++i) {
    csv << formatTicks(bins.binStart(i)) << formatTicks(bins.binStart(i) + bins.width());
    for (std::size_t g = 0; g < groups.size(); ++g) csv << bins.at(Channel::spikes, static_cast<int>(g), i);
    const double width = covered(i);
    for (std::size_t g = 0; g < groups.size(); ++g) {
      if (groups[g].units > 0 && width > 0) {
        double rate = static_cast<double>(bins.at(Channel::spikes, static_cast<int>(g), i)) /
                      static_cast<double>(groups[g].units) / width;
        csv << formatReal(rate);
      } else {
        csv << "";
      }
    }
    std::uint64_t on = 0, off = 0;
    for (std::size_t p = 0; p < paths.size(); ++p) {
      on += bins.at(Channel::swon, static_cast<int>(p), i);
      off += bins.at(Channel::swoff, static_cast<int>(p), i);
    }
    csv << on << off;
    for (std::size_t p = 0; p < paths.size(); ++p) csv << bins.at(Channel::swon, static_cast<int>(p), i);
    for (std::size_t p = 0; p < paths.size(); ++p) csv << bins.at(Channel::swoff, static_cast<int>(p), i);
    for (std::size_t p = 0; p < paths.size(); ++p) {
      active[p] += static_cast<std::int64_t>(bins.at(Channel::swon, static_cast<int>(p), i)) -
                   static_cast<std::int64_t>(bins.at(Channel::swoff, static_cast<int>(p), i));
      csv << active[p];
    }
    csv.endRow();
  }
  return csv.take();
}

std::string weightsCsv(const TraceStats& s) {
  Csv csv;
  csv << "pre" << "pre_id" << "post" << "post_id" << "weight";
  csv.endRow();
  const GroupTable& t = s.table();
  for (const FinalWeight& w : s.finalWeights()) {
    auto [pre, post] = t.pathwayGroups(w.pathway);
    csv << t.groupName(pre) << std::uint64_t{w.preId} << t.groupName(post) << std::uint64_t{w.postId}
        << formatReal(w.weight);
    csv.endRow();
  }
  return csv.take();
}

std::string rasterCsv(const TraceStats& s) {
  Csv csv;
  csv << "time" << "group" << "id";
  csv.endRow();
  for (const RasterSpike& r : s.raster()) {
    csv << formatTicks(r.time) << s.table().groupName(r.group) << std::uint64_t{r.id};
    csv.endRow();
  }
  return csv.take();
}

std::string metaCsv(const TraceStats& s, std::string_view inputName) {
  Csv csv;
  auto row = [&](std::string_view key, const std::string& value) {
    csv << key << value;
    csv.endRow();
  };
  row("key", "value");
  row("input", std::string(inputName));
  row("bin_width", formatTicks(s.bins().width()));
  row("raster_from", formatTicks(s.rasterFrom()));
  row("raster_to", formatTicks(s.rasterTo()));
  row("t_first", s.hasTime() ? formatTicks(s.firstTime()) : "");
  row("t_last", s.hasTime() ? formatTicks(s.lastTime()) : "");
  const SwitchOffInfo& off = s.switchOff();
  bool offKnown = off.count != 0 && (off.hasTime || off.hasTimeBefore);
  row("swofftime", offKnown ? formatTicks(off.time) : "");
  row("swofftime_from", off.count == 0 ? "none" : off.hasTime ? "line" : "last_time_before");
  row("final_report", reportStateName(s.report()));
  row("start_counts", s.report() == ReportState::complete ? "report" : "zero");
  row("cut_short", s.cutShortLine() != 0 ? "1" : "0");
  row("bad_lines", std::to_string(s.badLines()));
  for (const auto& g : s.groups()) row("units_" + g.name, g.units < 0 ? "" : std::to_string(g.units));
  return csv.take();
}

std::string headlineCsv(const TraceStats& s, const Labels& labels) {
  const auto& groups = s.groups();
  const auto& paths = s.pathways();
  const bool report = s.report() != ReportState::none;
  const bool complete = s.report() == ReportState::complete;
  Csv head, row;
  auto col = [&](const std::string& name, const std::string& value) {
    head << name;
    row << value;
  };
  for (const auto& [key, value] : labels) col(key, value);
  col("lines", std::to_string(s.lines()));
  col("bad_lines", std::to_string(s.badLines()));
  col("cut_short", s.cutShortLine() != 0 ? "1" : "0");
  col("final_report", reportStateName(s.report()));
  col("t_first", s.hasTime() ? formatTicks(s.firstTime()) : "");
  col("t_last", s.hasTime() ? formatTicks(s.lastTime()) : "");
  col("span", s.hasTime() ? formatTicks(s.lastTime() - s.firstTime()) : "");
  const SwitchOffInfo& off = s.switchOff();
  col("swofftime", off.count != 0 && (off.hasTime || off.hasTimeBefore) ? formatTicks(off.time) : "");
  for (const auto& g : groups) col("spk_" + g.name, std::to_string(g.spikes));
  for (const auto& g : groups) {
    double rate = meanRate(g, s);
    col("rate_" + g.name, rate < 0 ? "" : formatReal(rate));
  }
  col("swon", std::to_string(s.switchOns()));
  col("swoff", std::to_string(s.switchOffs()));
  for (const auto& p : paths) col("swon_" + p.name, std::to_string(p.swon));
  for (const auto& p : paths) col("swoff_" + p.name, std::to_string(p.swoff));
  for (const auto& p : paths) col("start_" + p.name, complete ? std::to_string(p.start) : "");
  for (const auto& p : paths) col("active_" + p.name, report ? std::to_string(p.active) : "");
  for (const auto& p : paths) col("wmin_" + p.name, p.active ? formatReal(p.weightMin) : "");
  for (const auto& p : paths) col("wmax_" + p.name, p.active ? formatReal(p.weightMax) : "");
  for (const auto& p : paths)
    col("wmean_" + p.name, p.active ? formatReal(p.weightSum / static_cast<double>(p.active)) : "");
  col("switch_problems", std::to_string(s.switchCheck().problems()));
  head.endRow();
  row.endRow();
  return head.take() + row.take();
}

std::string writeFile(const std::string& path, const std::string& text) {
  const bool toStdout = path == "-";
  std::FILE* f = toStdout ? stdout : std::fopen(path.c_str(), "wb");
  if (!f) return "cannot write " + path + ": " + std::strerror(errno);
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (toStdout ? std::fflush(f) : std::fclose(f)) == 0 && ok;
  if (!ok) return "cannot write " + path + ": " + std::strerror(errno);
  return "";
}

std::string writeTables(const TraceStats& s, const std::string& dir, std::string_view inputName) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return "cannot make folder " + dir + ": " + ec.message();
  const std::pair<const char*, std::string> files[] = {
      {"bins.csv", binsCsv(s)},
      {"weights.csv", weightsCsv(s)},
      {"raster.csv", rasterCsv(s)},
      {"meta.csv", metaCsv(s, inputName)},
  };
  for (const auto& [name, text] : files) {
    std::string err = writeFile((std::filesystem::path(dir) / name).string(), text);
    if (!err.empty()) return err;
  }
  return "";
}

}  // namespace net1::summary
