#pragma once
// Number and field formatting shared by the text summary and the tables.

#include <cstdint>
#include <string>
#include <string_view>

#include "trace_line.h"

namespace net1::summary {

// Ticks with six decimals, exactly as the trace prints times.
std::string formatTicks(Ticks t);
// A real with six decimals, as printf's %f.
std::string formatReal(double v);
// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(std::string_view s);
// The same, appended to out.
void appendCsvField(std::string& out, std::string_view s);

}  // namespace net1::summary
