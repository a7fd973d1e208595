#pragma once
// The CSV tables behind the plots, and the headline row for run-by-run
// comparison. Column names: spk_GROUP, rate_GROUP, swon_PATHWAY,
// swoff_PATHWAY, active_PATHWAY... with PATHWAY as "pre->post".

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "output_file.h"
#include "trace_stats.h"

namespace net1::summary {

using Labels = std::vector<std::pair<std::string, std::string>>;

// One row per time bin: spikes and rates per group, switch-ons and -offs in
// all and per pathway, and active synapses per pathway at the end of the bin.
// A rate is per unit and time unit, over the part of the bin that the trace
// covers.
void writeBinsCsv(const TraceStats& stats, TextOut& out);
// key,value pairs the plots need besides the tables (switch-off time, group
// sizes, the raster window...).
void writeMetaCsv(const TraceStats& stats, std::string_view inputName, TextOut& out);
// A header line and one row of headline figures, the labels first.
std::string headlineCsv(const TraceStats& stats, const Labels& labels);

// The tables of a folder: bins.csv, weights.csv, raster.csv and meta.csv.
// The raster and the weights are written as the trace is read; all four
// appear together when commit() succeeds, and none of them otherwise.
class CsvTables : public TableRows {
 public:
  // The tables' files in dir, in the order they are written.
  static std::vector<std::string> paths(const std::string& dir);
  // Makes dir when needed and opens the tables. Returns an error message,
  // empty on success.
  std::string open(const std::string& dir);
  void rasterSpike(Ticks time, std::string_view group, std::uint32_t id) override;
  void finalWeight(std::string_view pre, std::uint32_t preId, std::string_view post, std::uint32_t postId,
                   double weight) override;
  // Writes the rest and puts the tables in place. Returns an error message,
  // empty on success.
  std::string commit(const TraceStats& stats, std::string_view inputName);

 private:
  OutputFile bins_, weights_, raster_, meta_;
  std::string row_;
};

}  // namespace net1::summary
