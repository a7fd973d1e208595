#pragma once
// The CSV tables behind the plots, and the headline row for run-by-run
// comparison. Column names: spk_GROUP, rate_GROUP, swon_PATHWAY,
// swoff_PATHWAY, active_PATHWAY... with PATHWAY as "pre->post".

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trace_stats.h"

namespace net1::summary {

using Labels = std::vector<std::pair<std::string, std::string>>;

// One row per time bin: spikes and rates per group, switch-ons and -offs in
// all and per pathway, and active synapses per pathway at the end of the bin.
// A rate is per unit and time unit, over the part of the bin that the trace
// covers.
std::string binsCsv(const TraceStats& stats);
// The weight of every active synapse of the final report.
std::string weightsCsv(const TraceStats& stats);
// The spikes of the raster window.
std::string rasterCsv(const TraceStats& stats);
// key,value pairs the plots need besides the tables (switch-off time, group
// sizes, the raster window...).
std::string metaCsv(const TraceStats& stats, std::string_view inputName);
// A header line and one row of headline figures, the labels first.
std::string headlineCsv(const TraceStats& stats, const Labels& labels);

// Writes bins.csv, weights.csv, raster.csv and meta.csv into dir, making it
// when needed. Returns an error message, empty on success.
std::string writeTables(const TraceStats& stats, const std::string& dir, std::string_view inputName);

// Writes text to path ("-" for standard output). Returns an error message,
// empty on success.
std::string writeFile(const std::string& path, const std::string& text);

}  // namespace net1::summary
