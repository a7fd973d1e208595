#include "summary_text.hpp"

#include <algorithm>
#include <vector>

#include "text_format.hpp"

namespace tsum {
namespace {

using Row = std::vector<std::string>;

// Columns padded to their widest cell; the first left-aligned, the rest
// right-aligned, as numbers read best.
std::string table(const std::vector<Row>& rows) {
  std::vector<std::size_t> width;
  for (const Row& r : rows) {
    if (width.size() < r.size()) width.resize(r.size(), 0);
    for (std::size_t c = 0; c < r.size(); ++c) width[c] = std::max(width[c], r[c].size());
  }
  std::string out;
  for (const Row& r : rows) {
    std::string line;
    for (std::size_t c = 0; c < r.size(); ++c) {
      std::string pad(width[c] - r[c].size(), ' ');
      if (c == 0) {
        line += r[c] + pad;
      } else {
        line += "  " + pad + r[c];
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

void item(std::string& out, std::string_view label, const std::string& text) {
  std::string l(label);
  l.resize(14, ' ');
  out += l + text + "\n";
}

std::string n(std::uint64_t v) { return std::to_string(v); }

std::string lines_text(const TraceStats& s) {
  std::string t = n(s.lines());
  std::string parts;
  for (int k = 0; k < kKindCount; ++k) {
    auto kind = static_cast<Kind>(k);
    if (s.lines_of(kind) == 0) continue;
    if (!parts.empty()) parts += ", ";
    parts += std::string(kind_name(kind)) + " " + n(s.lines_of(kind));
  }
  if (!parts.empty()) t += " (" + parts + ")";
  return t;
}

std::string switch_off_text(const SwitchOffInfo& off) {
  std::string t;
  if (off.count == 0) return "none";
  if (off.has_time) {
    t = "at " + format_ticks(off.time);
  } else if (off.has_time_before) {
    t = "at " + format_ticks(off.time) + " (line " + n(off.line) +
        " has no time: the last time seen before it)";
  } else {
    t = "line " + n(off.line) + ", before any time";
  }
  if (off.count > 1) t += "; " + n(off.count) + " swofftime lines, the first counts";
  return t;
}

std::string report_text(const TraceStats& s) {
  std::string size = n(s.report_units()) + " units, " + n(s.report_synapses()) + " synapses";
  switch (s.report()) {
    case ReportState::none: return "none";
    case ReportState::complete: return "complete: " + size;
    case ReportState::incomplete: return "incomplete: " + size + " (" + s.report_problem() + ")";
  }
  return "";
}

std::string check_text(const TraceStats& s) {
  const SwitchCheckCounts& c = s.switch_check();
  std::string t = n(c.switched) + " synapses switched";
  if (c.problems() == 0) {
    if (s.report() == ReportState::none) return t + ", each alternating on and off (no final report to compare)";
    return t + ", all consistent with the final report";
  }
  std::vector<std::string> p;
  if (c.repeated) p.push_back(n(c.repeated) + " repeated switches");
  if (c.state_mismatch) p.push_back(n(c.state_mismatch) + " final states differ");
  if (c.time_mismatch) p.push_back(n(c.time_mismatch) + " last switch times differ");
  if (c.absent_from_report) p.push_back(n(c.absent_from_report) + " missing from the final report");
  t += "; problems: ";
  for (std::size_t i = 0; i < p.size(); ++i) t += (i ? ", " : "") + p[i];
  return t;
}

std::string source_name(SizeSource s) {
  switch (s) {
    case SizeSource::report: return "report";
    case SizeSource::fallback: return "default";
    case SizeSource::unknown: return "-";
  }
  return "-";
}

}  // namespace

double mean_rate(const GroupInfo& g, const TraceStats& stats) {
  if (g.units <= 0 || !stats.has_time() || stats.last_time() <= stats.first_time()) return -1;
  double span = static_cast<double>(stats.last_time() - stats.first_time()) / kTicksPerUnit;
  return static_cast<double>(g.spikes) / static_cast<double>(g.units) / span;
}

std::string summary_text(const TraceStats& s, std::string_view input_name) {
  std::string out;
  item(out, "input", std::string(input_name));
  item(out, "lines", lines_text(s));
  if (s.has_time()) {
    item(out, "time", format_ticks(s.first_time()) + " to " + format_ticks(s.last_time()) + " (span " +
                          format_ticks(s.last_time() - s.first_time()) + ")");
  } else {
    item(out, "time", "none seen");
  }
  item(out, "switches", n(s.switch_ons()) + " on, " + n(s.switch_offs()) + " off");
  item(out, "switch-off", switch_off_text(s.switch_off()));
  item(out, "final report", report_text(s));
  out += "\n";

  std::vector<Row> rows{{"group", "units", "from", "spikes", "rate/unit"}};
  for (const GroupInfo& g : s.groups()) {
    double rate = mean_rate(g, s);
    rows.push_back({g.name, g.units < 0 ? "-" : std::to_string(g.units), source_name(g.source), n(g.spikes),
                    rate < 0 ? "-" : format_real(rate)});
  }
  out += table(rows) + "\n";

  const bool report = s.report() != ReportState::none;
  const bool complete = s.report() == ReportState::complete;
  rows = {{"pathway", "swon", "swoff", "start", "active", "w min", "w max", "w mean"}};
  bool negative_start = false;
  for (const PathwayInfo& p : s.pathways()) {
    Row r{p.name, n(p.swon), n(p.swoff), complete ? std::to_string(p.start) : "-", report ? n(p.active) : "-"};
    if (p.active != 0) {
      r.push_back(format_real(p.weight_min));
      r.push_back(format_real(p.weight_max));
      r.push_back(format_real(p.weight_sum / static_cast<double>(p.active)));
    } else {
      r.insert(r.end(), {"-", "-", "-"});
    }
    rows.push_back(std::move(r));
    negative_start = negative_start || (complete && p.start < 0);
  }
  out += table(rows);
  if (complete) out += "(start = active - swon + swoff: the active synapses before the first switch)\n";
  out += "\n";

  item(out, "switch check", check_text(s));

  if (s.cut_short_line() != 0)
    out += "note: trace cut short: line " + n(s.cut_short_line()) + " has no newline and was left out\n";
  if (s.bad_lines() != 0)
    out += "note: " + n(s.bad_lines()) + " lines that are not trace lines were skipped (first at line " +
           n(s.first_bad_line()) + ")\n";
  if (s.report() == ReportState::none)
    out += "note: no final report (run stopped early?): group sizes are defaults, start counts 0\n";
  else if (!complete)
    out += "note: the final report is incomplete: start counts 0\n";
  if (negative_start) out += "note: a negative start count: the trace misses its beginning\n";
  return out;
}

}  // namespace tsum
