#include "csv_tables.h"

#include <algorithm>
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
    appendCsvField(out_, field);
    return *this;
  }
  Csv& operator<<(std::uint64_t v) { return *this << std::string_view(buf_, formatInto(v)); }
  Csv& operator<<(std::int64_t v) { return *this << std::to_string(v); }
  Csv& operator<<(const char* s) { return *this << std::string_view(s); }
  Csv& operator<<(const std::string& s) { return *this << std::string_view(s); }
  void endRow() {
    out_ += '\n';
    first_ = true;
  }
  std::string& text() { return out_; }
  // Hands the rows so far to out once they are many, so that a long table
  // never sits whole in memory.
  void spill(TextOut& out, bool always = false) {
    if (always || out_.size() >= (std::size_t{1} << 16)) {
      out.write(out_);
      out_.clear();
    }
  }

 private:
  std::size_t formatInto(std::uint64_t v) {
    char* end = buf_ + sizeof buf_;
    char* p = end;
    do {
      *--p = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    std::size_t n = static_cast<std::size_t>(end - p);
    std::memmove(buf_, p, n);
    return n;
  }

  std::string out_;
  bool first_ = true;
  char buf_[24];
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

void writeBinsCsv(const TraceStats& s, TextOut& out) {
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
    Ticks from = std::max(bins.binStart(i), s.firstTime());
    Ticks to = std::min(bins.binStart(i) + bins.width(), s.lastTime());
    return to > from ? static_cast<double>(to - from) / kTicksPerUnit : 0.0;
  };
  std::vector<std::int64_t> active;
  for (const auto& p : paths) active.push_back(p.start);
  for (std::size_t i = 0; i < bins.binCount(); ++i) {
    csv << formatTicks(bins.binStart(i)) << formatTicks(bins.binStart(i) + bins.width());
    for (const auto& g : groups) csv << bins.at(Channel::spikes, g.index, i);
    const double width = covered(i);
    for (const auto& g : groups) {
      if (g.units > 0 && width > 0) {
        double rate = static_cast<double>(bins.at(Channel::spikes, g.index, i)) / static_cast<double>(g.units) / width;
        csv << formatReal(rate);
      } else {
        csv << "";
      }
    }
    std::uint64_t on = 0, off = 0;
    for (const auto& p : paths) {
      on += bins.at(Channel::swon, p.index, i);
      off += bins.at(Channel::swoff, p.index, i);
    }
    csv << on << off;
    for (const auto& p : paths) csv << bins.at(Channel::swon, p.index, i);
    for (const auto& p : paths) csv << bins.at(Channel::swoff, p.index, i);
    for (std::size_t p = 0; p < paths.size(); ++p) {
      // Counts of lines: far below 2^62, so neither the casts nor the sum overflow.
      active[p] += static_cast<std::int64_t>(bins.at(Channel::swon, paths[p].index, i)) -
                   static_cast<std::int64_t>(bins.at(Channel::swoff, paths[p].index, i));
      csv << active[p];
    }
    csv.endRow();
    csv.spill(out);
  }
  csv.spill(out, true);
}

void writeMetaCsv(const TraceStats& s, std::string_view inputName, TextOut& out) {
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
  csv.spill(out, true);
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
  return head.text() + row.text();
}

std::vector<std::string> CsvTables::paths(const std::string& dir) {
  std::vector<std::string> out;
  for (const char* name : {"bins.csv", "weights.csv", "raster.csv", "meta.csv"})
    out.push_back((std::filesystem::path(dir) / name).string());
  return out;
}

std::string CsvTables::open(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return "cannot make folder " + dir + ": " + ec.message();
  const std::vector<std::string> files = paths(dir);
  OutputFile* tables[] = {&bins_, &weights_, &raster_, &meta_};
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (std::string e = tables[i]->open(files[i], nullptr); !e.empty()) return e;
  }
  weights_.write("pre,pre_id,post,post_id,weight\n");
  raster_.write("time,group,id\n");
  return "";
}

void CsvTables::rasterSpike(Ticks time, std::string_view group, std::uint32_t id) {
  row_.clear();
  row_ += formatTicks(time);
  row_ += ',';
  appendCsvField(row_, group);
  row_ += ',';
  row_ += std::to_string(id);
  row_ += '\n';
  raster_.write(row_);
}

void CsvTables::finalWeight(std::string_view pre, std::uint32_t preId, std::string_view post, std::uint32_t postId,
                            double weight) {
  row_.clear();
  appendCsvField(row_, pre);
  row_ += ',';
  row_ += std::to_string(preId);
  row_ += ',';
  appendCsvField(row_, post);
  row_ += ',';
  row_ += std::to_string(postId);
  row_ += ',';
  row_ += formatReal(weight);
  row_ += '\n';
  weights_.write(row_);
}

std::string CsvTables::commit(const TraceStats& stats, std::string_view inputName) {
  writeBinsCsv(stats, bins_);
  writeMetaCsv(stats, inputName, meta_);
  for (OutputFile* f : {&bins_, &weights_, &raster_, &meta_})
    if (std::string e = f->close(); !e.empty()) return e;  // the others go when this goes
  for (OutputFile* f : {&bins_, &weights_, &raster_, &meta_})
    if (std::string e = f->place(); !e.empty()) return e;
  return "";
}

}  // namespace net1::summary
