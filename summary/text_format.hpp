#pragma once
// Number and field formatting shared by the text summary and the tables.

#include <cstdint>
#include <string>
#include <string_view>

#include "trace_line.hpp"

namespace tsum {

// Ticks with six decimals, exactly as the trace prints times.
std::string format_ticks(Ticks t);
// A real with six decimals, as printf's %f.
std::string format_real(double v);
// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csv_field(std::string_view s);

}  // namespace tsum
