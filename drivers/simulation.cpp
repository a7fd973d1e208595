#include "simulation.h"

namespace net1::drivers {

std::unique_ptr<Simulation> makeSimulation(const Description& d, Stream& out, const TraceRouting& routing,
                                           const volatile std::sig_atomic_t* stop) {
  return d.run.edition == 2 ? ed2::makeSimulation(d, out, routing, stop) : ed1::makeSimulation(d, out, routing, stop);
}

}  // namespace net1::drivers
