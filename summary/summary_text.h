#pragma once
// The human-readable summary of a run.

#include <string>
#include <string_view>

#include "trace_stats.h"

namespace net1::summary {

// Spikes per unit and time unit over the span of the trace; negative when
// the group size or the span is unknown.
double meanRate(const GroupInfo& g, const TraceStats& stats);

std::string summaryText(const TraceStats& stats, std::string_view inputName);

}  // namespace net1::summary
