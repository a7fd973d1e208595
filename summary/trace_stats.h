#pragma once
// Everything the summary reports, gathered from a trace in one pass.
//
// Memory stays bounded whatever the trace: groups, pathways, time bins and
// the synapses of the switch check each have a limit, and the rows that
// grow with the trace (the raster, the final weights) are handed on to a
// TableRows as they come instead of being kept.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "group_table.h"
#include "switch_check.h"
#include "time_bins.h"
#include "trace_line.h"

namespace net1::summary {

// Receives the rows of the tables that grow with the trace.
class TableRows {
 public:
  virtual ~TableRows() = default;
  virtual void rasterSpike(Ticks time, std::string_view group, std::uint32_t id) = 0;
  virtual void finalWeight(std::string_view pre, std::uint32_t preId, std::string_view post, std::uint32_t postId,
                           double weight) = 0;
};

struct StatsOptions {
  Ticks binWidth = 100 * kTicksPerUnit;
  bool keepBins = true;  // count events per time bin (only bins.csv needs them)
  // Without an explicit window the raster covers rasterLength from the
  // first time seen.
  bool rasterGiven = false;
  Ticks rasterFrom = 0;
  Ticks rasterTo = 0;
  Ticks rasterLength = 50 * kTicksPerUnit;
  TableRows* rows = nullptr;  // none: the raster and the weights are not wanted
};

// Where a group's unit count comes from: the final report, or nowhere.
enum class SizeSource { report, unknown };

struct GroupInfo {
  std::string name;
  int index = 0;  // in the table and the time bins
  std::uint64_t spikes = 0;
  std::int64_t units = -1;  // -1 when unknown
  SizeSource source = SizeSource::unknown;
};

struct PathwayInfo {
  std::string name;  // "pre->post"
  int index = 0;     // in the table and the time bins
  std::uint64_t swon = 0;
  std::uint64_t swoff = 0;
  std::uint64_t synapses = 0;  // syn lines of the final report
  std::uint64_t active = 0;    // of which active
  double weightMin = 0, weightMax = 0, weightSum = 0;  // over the active ones
  // Active synapses before the first event: the final count minus the net
  // switch-ons, or 0 without a complete final report.
  std::int64_t start = 0;
};

enum class ReportState { none, complete, incomplete };

struct SwitchOffInfo {
  std::uint64_t count = 0;  // swofftime lines
  std::uint64_t line = 0;   // the first one
  bool hasTime = false;     // it carried a time
  // Its time, or for a bare line the last time seen before it (when
  // hasTimeBefore); that is when switching actually stopped.
  Ticks time = 0;
  bool hasTimeBefore = false;
};

class TraceStats {
 public:
  explicit TraceStats(const StatsOptions& options);

  // Takes a parsed line, its line number in the input. Returns nullptr, or
  // why the line cannot be taken (the line is then left out entirely and
  // changes nothing). Lines with a time must come in time order; the
  // reader sees to it, and a line earlier than the one before is refused.
  const char* add(const TraceLine& line, std::uint64_t number);
  void addBadLine(std::uint64_t number);
  void setCutShort(std::uint64_t number) { cutShortLine_ = number; }
  // Call once, after the last line; the results below are valid after it.
  void finish();

  // Lines taken, per kind and in all.
  std::uint64_t lines() const { return lines_; }
  std::uint64_t linesOf(Kind k) const { return kindLines_[static_cast<std::size_t>(k)]; }
  std::uint64_t badLines() const { return badLines_; }
  std::uint64_t firstBadLine() const { return firstBadLine_; }
  // 0 when the input ended with a newline.
  std::uint64_t cutShortLine() const { return cutShortLine_; }
  bool inReport() const { return inReport_; }

  // The first and the last time of the lines with a time.
  bool hasTime() const { return hasTime_; }
  Ticks firstTime() const { return firstTime_; }
  Ticks lastTime() const { return lastTime_; }

  // The groups and pathways met, in the network's order (see finish()).
  const std::vector<GroupInfo>& groups() const { return groups_; }
  const std::vector<PathwayInfo>& pathways() const { return pathways_; }
  const GroupTable& table() const { return table_; }
  std::uint64_t switchOns() const { return totalSwon_; }
  std::uint64_t switchOffs() const { return totalSwoff_; }
  const SwitchOffInfo& switchOff() const { return switchOff_; }

  ReportState report() const { return reportState_; }
  const std::string& reportProblem() const { return reportProblem_; }  // when incomplete
  std::uint64_t reportUnits() const { return reportUnits_; }
  std::uint64_t reportSynapses() const { return reportSynapses_; }
  const SwitchCheckCounts& switchCheck() const { return checkCounts_; }

  const TimeBins& bins() const { return bins_; }
  // The number of series of the over-time table: groups + 2 x pathways.
  std::uint64_t binSeries() const {
    return static_cast<std::uint64_t>(table_.groupCount()) + 2 * static_cast<std::uint64_t>(table_.pathwayCount());
  }
  Ticks rasterFrom() const { return rasterFrom_; }
  Ticks rasterTo() const { return rasterTo_; }

 private:
  struct GroupAcc {
    std::uint64_t spikes = 0;
    std::uint64_t reportUnits = 0;
    std::int64_t reportMaxId = -1;
    std::uint64_t reportRank = 0;  // 1 for the first group the report lists, ...; 0 when it lists none
  };
  struct PathwayAcc {
    std::uint64_t swon = 0, swoff = 0, synapses = 0, active = 0;
    double wmin = 0, wmax = 0, wsum = 0;
  };

  // Group and pathway indices of a line, added when new; -1 for the line
  // when the table has no room for them (and then nothing is added).
  int group(std::string_view name);
  bool groupPair(std::string_view pre, std::string_view post, int& g1, int& g2);
  int pathway(int pre, int post);
  void noteTime(Ticks t);
  void addSwitch(const TraceLine& line, int pre, int post, int p, bool on);
  void addUnit(const TraceLine& line, int g);
  void addSynapse(const TraceLine& line, int pre, int post, int p, Ticks lastSwitch);

  StatsOptions options_;
  GroupTable table_;
  std::vector<GroupAcc> groupAcc_;
  std::vector<PathwayAcc> pathAcc_;
  TimeBins bins_;
  SwitchCheck check_;

  std::uint64_t lines_ = 0;
  std::uint64_t kindLines_[kKindCount] = {};
  std::uint64_t badLines_ = 0, firstBadLine_ = 0, cutShortLine_ = 0;
  bool hasTime_ = false;
  Ticks firstTime_ = 0, lastTime_ = 0;
  std::uint64_t totalSwon_ = 0, totalSwoff_ = 0;
  SwitchOffInfo switchOff_;

  bool inReport_ = false;
  std::uint64_t reportUnits_ = 0, reportSynapses_ = 0, reportGroups_ = 0;
  std::int64_t outTotal_ = 0, inTotal_ = 0;

  Ticks rasterFrom_ = 0, rasterTo_ = 0;

  // Results, from finish().
  std::vector<GroupInfo> groups_;
  std::vector<PathwayInfo> pathways_;
  ReportState reportState_ = ReportState::none;
  std::string reportProblem_;
  SwitchCheckCounts checkCounts_;
};

}  // namespace net1::summary
