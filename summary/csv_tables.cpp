#include "csv_tables.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "summary_text.hpp"
#include "text_format.hpp"

namespace tsum {
namespace {

class Csv {
 public:
  Csv& operator<<(std::string_view field) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += csv_field(field);
    return *this;
  }
  Csv& operator<<(std::uint64_t v) { return *this << std::to_string(v); }
  Csv& operator<<(std::int64_t v) { return *this << std::to_string(v); }
  Csv& operator<<(const char* s) { return *this << std::string_view(s); }
  Csv& operator<<(const std::string& s) { return *this << std::string_view(s); }
  void end_row() {
    out_ += '\n';
    first_ = true;
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
  bool first_ = true;
};

std::string report_state_name(ReportState r) {
  switch (r) {
    case ReportState::none: return "none";
    case ReportState::complete: return "complete";
    case ReportState::incomplete: return "incomplete";
  }
  return "";
}

}  // namespace

std::string bins_csv(const TraceStats& s) {
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
  csv.end_row();

  // A rate covers only the part of its bin inside the trace's time range, so
  // the first and last bins, mostly partly covered, do not read low.
  auto covered = [&](std::size_t i) {
    Ticks from = std::max(bins.bin_start(i), s.min_time());
    Ticks to = std::min(bins.bin_start(i) + bins.width(), s.max_time());
    return to > from ? static_cast<double>(to - from) / kTicksPerUnit : 0.0;
  };
  std::vector<std::int64_t> active;
  for (const auto& p : paths) active.push_back(p.start);
  for (std::size_t i = 0; i < bins.bin_count(); ++i) {
    csv << format_ticks(bins.bin_start(i)) << format_ticks(bins.bin_start(i) + bins.width());
    for (std::size_t g = 0; g < groups.size(); ++g) csv << bins.at(Channel::spikes, static_cast<int>(g), i);
    const double width = covered(i);
    for (std::size_t g = 0; g < groups.size(); ++g) {
      if (groups[g].units > 0 && width > 0) {
        double rate = static_cast<double>(bins.at(Channel::spikes, static_cast<int>(g), i)) /
                      static_cast<double>(groups[g].units) / width;
        csv << format_real(rate);
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
    csv.end_row();
  }
  return csv.take();
}

std::string weights_csv(const TraceStats& s) {
  Csv csv;
  csv << "pre" << "pre_id" << "post" << "post_id" << "weight";
  csv.end_row();
  const GroupTable& t = s.table();
  for (const FinalWeight& w : s.final_weights()) {
    auto [pre, post] = t.pathway_groups(w.pathway);
    csv << t.group_name(pre) << std::uint64_t{w.pre_id} << t.group_name(post) << std::uint64_t{w.post_id}
        << format_real(w.weight);
    csv.end_row();
  }
  return csv.take();
}

std::string raster_csv(const TraceStats& s) {
  Csv csv;
  csv << "time" << "group" << "id";
  csv.end_row();
  for (const RasterSpike& r : s.raster()) {
    csv << format_ticks(r.time) << s.table().group_name(r.group) << std::uint64_t{r.id};
    csv.end_row();
  }
  return csv.take();
}

std::string meta_csv(const TraceStats& s, std::string_view input_name) {
  Csv csv;
  auto row = [&](std::string_view key, const std::string& value) {
    csv << key << value;
    csv.end_row();
  };
  row("key", "value");
  row("input", std::string(input_name));
  row("bin_width", format_ticks(s.bins().width()));
  row("raster_from", format_ticks(s.raster_from()));
  row("raster_to", format_ticks(s.raster_to()));
  row("t_first", s.has_time() ? format_ticks(s.first_time()) : "");
  row("t_last", s.has_time() ? format_ticks(s.last_time()) : "");
  const SwitchOffInfo& off = s.switch_off();
  bool off_known = off.count != 0 && (off.has_time || off.has_time_before);
  row("swofftime", off_known ? format_ticks(off.time) : "");
  row("swofftime_from", off.count == 0 ? "none" : off.has_time ? "line" : "last_time_before");
  row("final_report", report_state_name(s.report()));
  row("start_counts", s.report() == ReportState::complete ? "report" : "zero");
  row("cut_short", s.cut_short_line() != 0 ? "1" : "0");
  row("bad_lines", std::to_string(s.bad_lines()));
  for (const auto& g : s.groups()) row("units_" + g.name, g.units < 0 ? "" : std::to_string(g.units));
  return csv.take();
}

std::string headline_csv(const TraceStats& s, const Labels& labels) {
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
  col("bad_lines", std::to_string(s.bad_lines()));
  col("cut_short", s.cut_short_line() != 0 ? "1" : "0");
  col("final_report", report_state_name(s.report()));
  col("t_first", s.has_time() ? format_ticks(s.first_time()) : "");
  col("t_last", s.has_time() ? format_ticks(s.last_time()) : "");
  col("span", s.has_time() ? format_ticks(s.last_time() - s.first_time()) : "");
  const SwitchOffInfo& off = s.switch_off();
  col("swofftime", off.count != 0 && (off.has_time || off.has_time_before) ? format_ticks(off.time) : "");
  for (const auto& g : groups) col("spk_" + g.name, std::to_string(g.spikes));
  for (const auto& g : groups) {
    double rate = mean_rate(g, s);
    col("rate_" + g.name, rate < 0 ? "" : format_real(rate));
  }
  col("swon", std::to_string(s.switch_ons()));
  col("swoff", std::to_string(s.switch_offs()));
  for (const auto& p : paths) col("swon_" + p.name, std::to_string(p.swon));
  for (const auto& p : paths) col("swoff_" + p.name, std::to_string(p.swoff));
  for (const auto& p : paths) col("start_" + p.name, complete ? std::to_string(p.start) : "");
  for (const auto& p : paths) col("active_" + p.name, report ? std::to_string(p.active) : "");
  for (const auto& p : paths) col("wmin_" + p.name, p.active ? format_real(p.weight_min) : "");
  for (const auto& p : paths) col("wmax_" + p.name, p.active ? format_real(p.weight_max) : "");
  for (const auto& p : paths)
    col("wmean_" + p.name, p.active ? format_real(p.weight_sum / static_cast<double>(p.active)) : "");
  col("switch_problems", std::to_string(s.switch_check().problems()));
  head.end_row();
  row.end_row();
  return head.take() + row.take();
}

std::string write_file(const std::string& path, const std::string& text) {
  const bool to_stdout = path == "-";
  std::FILE* f = to_stdout ? stdout : std::fopen(path.c_str(), "wb");
  if (!f) return "cannot write " + path + ": " + std::strerror(errno);
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (to_stdout ? std::fflush(f) : std::fclose(f)) == 0 && ok;
  if (!ok) return "cannot write " + path + ": " + std::strerror(errno);
  return "";
}

std::string write_tables(const TraceStats& s, const std::string& dir, std::string_view input_name) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return "cannot make folder " + dir + ": " + ec.message();
  const std::pair<const char*, std::string> files[] = {
      {"bins.csv", bins_csv(s)},
      {"weights.csv", weights_csv(s)},
      {"raster.csv", raster_csv(s)},
      {"meta.csv", meta_csv(s, input_name)},
  };
  for (const auto& [name, text] : files) {
    std::string err = write_file((std::filesystem::path(dir) / name).string(), text);
    if (!err.empty()) return err;
  }
  return "";
}

}  // namespace tsum
