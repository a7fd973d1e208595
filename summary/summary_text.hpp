#pragma once
// The human-readable summary of a run.

#include <string>
#include <string_view>

#include "trace_stats.hpp"

namespace tsum {

// Spikes per unit and time unit over the span of the trace; negative when
// the group size or the span is unknown.
double mean_rate(const GroupInfo& g, const TraceStats& stats);

std::string summary_text(const TraceStats& stats, std::string_view input_name);

}  // namespace tsum
