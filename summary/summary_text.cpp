#include "summary_text.h"

#include <algorithm>
#include <vector>

#include "text_format.h"

namespace net1::summary {
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

std::string linesText(const TraceStats& s) {
  std::string t = n(s.lines());
  std::string parts;
  for (int k = 0; k < kKindCount; ++k) {
    auto kind = static_cast<Kind>(k);
    if (s.linesOf(kind) == 0) continue;
    if (!parts.empty()) parts += ", ";
    parts += std::string(kindName(kind)) + " " + n(s.linesOf(kind));
  }
  if (!parts.empty()) t += " (" + parts + ")";
  return t;
}

std::string switchOffText(const SwitchOffInfo& off) {
  std::string t;
  if (off.count == 0) return "none";
  if (off.hasTime) {
    t = "at " + formatTicks(off.time);
  } else if (off.hasTimeBefore) {
    t = "at " + formatTicks(off.time) + " (line " + n(off.line) +
        " has no time: the last time seen before it)";
  } else {
    t = "line " + n(off.line) + ", before any time";
  }
  if (off.count > 1) t += "; " + n(off.count) + " swofftime lines, the first counts";
  return t;
}

std::string reportText(const TraceStats& s) {
  std::string size = n(s.reportUnits()) + " units, " + n(s.reportSynapses()) + " synapses";
  switch (s.report()) {
    case ReportState::none: return "none";
    case ReportState::complete: return "complete: " + size;
    case ReportState::incomplete: return "incomplete: " + size + " (" + s.reportProblem() + ")";
  }
  return "";
}

std::string checkText(const TraceStats& s) {
  const SwitchCheckCounts& c = s.switchCheck();
  std::string t = n(c.switched) + " synapses switched";
  if (c.unchecked != 0)
    t += " (the check follows at most " + n(SwitchCheck::kMaxSynapses) + "; " + n(c.unchecked) +
         " switches of further synapses are not checked)";
  if (c.problems() == 0) {
    if (s.report() == ReportState::none) return t + ", each alternating on and off (no final report to compare)";
    return t + ", all consistent with the final report";
  }
  std::vector<std::string> p;
  if (c.repeated) p.push_back(n(c.repeated) + " repeated switches");
  if (c.stateMismatch) p.push_back(n(c.stateMismatch) + " final states differ");
  if (c.timeMismatch) p.push_back(n(c.timeMismatch) + " last switch times differ");
  if (c.absentFromReport) p.push_back(n(c.absentFromReport) + " missing from the final report");
  t += "; problems: ";
  for (std::size_t i = 0; i < p.size(); ++i) t += (i ? ", " : "") + p[i];
  return t;
}

std::string sourceName(SizeSource s) {
  switch (s) {
    case SizeSource::report: return "report";
    case SizeSource::unknown: return "-";
  }
  return "-";
}

}  // namespace

double meanRate(const GroupInfo& g, const TraceStats& stats) {
  if (g.units <= 0 || !stats.hasTime() || stats.lastTime() <= stats.firstTime()) return -1;
  double span = static_cast<double>(stats.lastTime() - stats.firstTime()) / kTicksPerUnit;
  return static_cast<double>(g.spikes) / static_cast<double>(g.units) / span;
}

std::string summaryText(const TraceStats& s, std::string_view inputName) {
  std::string out;
  item(out, "input", std::string(inputName));
  item(out, "lines", linesText(s));
  if (s.hasTime()) {
    item(out, "time", formatTicks(s.firstTime()) + " to " + formatTicks(s.lastTime()) + " (span " +
                          formatTicks(s.lastTime() - s.firstTime()) + ")");
  } else {
    item(out, "time", "none seen");
  }
  item(out, "switches", n(s.switchOns()) + " on, " + n(s.switchOffs()) + " off");
  item(out, "switch-off", switchOffText(s.switchOff()));
  item(out, "final report", reportText(s));
  out += "\n";

  std::vector<Row> rows{{"group", "units", "from", "spikes", "rate/unit"}};
  for (const GroupInfo& g : s.groups()) {
    double rate = meanRate(g, s);
    rows.push_back({g.name, g.units < 0 ? "-" : std::to_string(g.units), sourceName(g.source), n(g.spikes),
                    rate < 0 ? "-" : formatReal(rate)});
  }
  out += table(rows) + "\n";

  const bool report = s.report() != ReportState::none;
  const bool complete = s.report() == ReportState::complete;
  rows = {{"pathway", "swon", "swoff", "start", "active", "w min", "w max", "w mean"}};
  bool negativeStart = false;
  for (const PathwayInfo& p : s.pathways()) {
    Row r{p.name, n(p.swon), n(p.swoff), complete ? std::to_string(p.start) : "-", report ? n(p.active) : "-"};
    if (p.active != 0) {
      r.push_back(formatReal(p.weightMin));
      r.push_back(formatReal(p.weightMax));
      r.push_back(formatReal(p.weightSum / static_cast<double>(p.active)));
    } else {
      r.insert(r.end(), {"-", "-", "-"});
    }
    rows.push_back(std::move(r));
    negativeStart = negativeStart || (complete && p.start < 0);
  }
  out += table(rows);
  if (complete) out += "(start = active - swon + swoff: the active synapses before the first switch)\n";
  out += "\n";

  item(out, "switch check", checkText(s));

  if (s.cutShortLine() != 0)
    out += "note: trace cut short: line " + n(s.cutShortLine()) + " has no newline and was left out\n";
  if (s.badLines() != 0)
    out += "note: " + n(s.badLines()) + " bad lines were skipped (first at line " + n(s.firstBadLine()) + ")\n";
  if (s.report() == ReportState::none)
    out += "note: no final report (run stopped early?): group sizes unknown, start counts 0\n";
  else if (!complete)
    out += "note: the final report is incomplete: start counts 0\n";
  if (negativeStart) out += "note: a negative start count: the trace misses its beginning\n";
  return out;
}

}  // namespace net1::summary
