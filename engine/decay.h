// The exponential behind every decay in the engine.
#pragma once

#include <cmath>

namespace net1 {

// std::exp(x), bit for bit (exp.cpp).
[[gnu::const]] double libraryExp(double x);

// std::exp(x), except that an argument below -746 gives +0 at once. That
// is the value exp returns there (e^-745.2 is already less than half the
// smallest positive double), so nothing changes but the time: the library
// takes a slow path to report each underflow, and long-idle units and
// synapses make underflows common.
inline double decayFactor(double x) { return x < -746.0 ? 0.0 : libraryExp(x); }

}  // namespace net1
