#pragma once
// Everything the summary reports, gathered from a trace in one pass.

#include <cstdint>
#include <string>
#include <vector>

#include "group_table.hpp"
#include "switch_check.hpp"
#include "time_bins.hpp"
#include "trace_line.hpp"

namespace tsum {

struct StatsOptions {
  Ticks bin_width = 100 * kTicksPerUnit;
  // Without an explicit window the raster covers raster_length from the
  // first time seen.
  bool raster_given = false;
  Ticks raster_from = 0;
  Ticks raster_to = 0;
  Ticks raster_length = 50 * kTicksPerUnit;
};

// Where a group's unit count comes from.
enum class SizeSource { report, fallback, unknown };

struct GroupInfo {
  std::string name;
  std::uint64_t spikes = 0;
  std::int64_t units = -1;  // -1 when unknown
  SizeSource source = SizeSource::unknown;
};

struct PathwayInfo {
  std::string name;  // "pre->post"
  std::uint64_t swon = 0;
  std::uint64_t swoff = 0;
  std::uint64_t synapses = 0;  // syn lines of the final report
  std::uint64_t active = 0;    // of which active
  double weight_min = 0, weight_max = 0, weight_sum = 0;  // over the active ones
  // Active synapses before the first event: the final count minus the net
  // switch-ons, or 0 without a complete final report.
  std::int64_t start = 0;
};

enum class ReportState { none, complete, incomplete };

struct SwitchOffInfo {
  std::uint64_t count = 0;  // swofftime lines
  std::uint64_t line = 0;   // the first one
  bool has_time = false;    // it carried a time
  // Its time, or for a bare line the last time seen before it (when
  // has_time_before); that is when switching actually stopped.
  Ticks time = 0;
  bool has_time_before = false;
};

struct RasterSpike {
  Ticks time;
  int group;
  std::uint32_t id;
};

struct FinalWeight {
  int pathway;
  std::uint32_t pre_id, post_id;
  double weight;
};

class TraceStats {
 public:
  explicit TraceStats(const StatsOptions& options);

  // Takes a parsed line. Returns nullptr, or why the line cannot be taken
  // (the line is then left out entirely).
  const char* add(const TraceLine& line);
  void add_bad_line(std::uint64_t line_number);
  void set_cut_short(std::uint64_t line_number) { cut_short_line_ = line_number; }
  // Call once, after the last line; the results below are valid after it.
  void finish();

  // Lines taken, per kind and in all.
  std::uint64_t lines() const { return lines_; }
  std::uint64_t lines_of(Kind k) const { return kind_lines_[static_cast<std::size_t>(k)]; }
  std::uint64_t bad_lines() const { return bad_lines_; }
  std::uint64_t first_bad_line() const { return first_bad_line_; }
  // 0 when the input ended with a newline.
  std::uint64_t cut_short_line() const { return cut_short_line_; }

  bool has_time() const { return has_time_; }
  Ticks first_time() const { return first_time_; }
  Ticks last_time() const { return last_time_; }
  // The earliest and latest times, the same as first and last when time runs
  // forward, as it does.
  Ticks min_time() const { return min_time_; }
  Ticks max_time() const { return max_time_; }

  const std::vector<GroupInfo>& groups() const { return groups_; }
  const std::vector<PathwayInfo>& pathways() const { return pathways_; }
  const GroupTable& table() const { return table_; }
  std::uint64_t switch_ons() const { return total_swon_; }
  std::uint64_t switch_offs() const { return total_swoff_; }
  const SwitchOffInfo& switch_off() const { return switch_off_; }

  ReportState report() const { return report_state_; }
  const std::string& report_problem() const { return report_problem_; }  // when incomplete
  std::uint64_t report_units() const { return report_units_; }
  std::uint64_t report_synapses() const { return report_synapses_; }
  const SwitchCheckCounts& switch_check() const { return check_counts_; }

  const TimeBins& bins() const { return bins_; }
  Ticks raster_from() const { return raster_from_; }
  Ticks raster_to() const { return raster_to_; }
  const std::vector<RasterSpike>& raster() const { return raster_; }
  const std::vector<FinalWeight>& final_weights() const { return weights_; }

 private:
  struct GroupAcc {
    std::uint64_t spikes = 0;
    std::uint64_t report_units = 0;
    std::int64_t report_max_id = -1;
  };
  struct PathwayAcc {
    std::uint64_t swon = 0, swoff = 0, synapses = 0, active = 0;
    double wmin = 0, wmax = 0, wsum = 0;
  };

  int group(std::string_view name);
  int pathway(int pre, int post);
  void note_time(Ticks t);
  const char* add_switch(const TraceLine& line, bool on);
  void add_unit(const TraceLine& line, int g);
  void add_synapse(const TraceLine& line, int pre, int post);

  StatsOptions options_;
  GroupTable table_;
  std::vector<GroupAcc> group_acc_;
  std::vector<PathwayAcc> path_acc_;
  TimeBins bins_;
  SwitchCheck check_;

  std::uint64_t lines_ = 0;
  std::uint64_t kind_lines_[kKindCount] = {};
  std::uint64_t bad_lines_ = 0, first_bad_line_ = 0, cut_short_line_ = 0;
  bool has_time_ = false;
  Ticks first_time_ = 0, last_time_ = 0, min_time_ = 0, max_time_ = 0;
  std::uint64_t total_swon_ = 0, total_swoff_ = 0;
  SwitchOffInfo switch_off_;

  bool in_report_ = false;
  std::uint64_t report_units_ = 0, report_synapses_ = 0;
  std::int64_t out_total_ = 0, in_total_ = 0;

  Ticks raster_from_ = 0, raster_to_ = 0;
  std::vector<RasterSpike> raster_;
  std::vector<FinalWeight> weights_;

  // Results, from finish().
  std::vector<GroupInfo> groups_;
  std::vector<PathwayInfo> pathways_;
  ReportState report_state_ = ReportState::none;
  std::string report_problem_;
  SwitchCheckCounts check_counts_;
};

}  // namespace tsum
