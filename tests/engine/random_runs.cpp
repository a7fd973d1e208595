// Runs random networks, with every trace stream set, and prints for each
// seed its trace and the exact final state of every record. The tests build
// it over the engine's store and over the plain list, and compare.
//
//   random-runs FIRST_SEED LAST_SEED STEPS [large]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "random_network.h"

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::strcmp(argv[4], "large") == 0)) {
    std::fprintf(stderr, "usage: %s FIRST_SEED LAST_SEED STEPS [large]\n", argv[0]);
    return 2;
  }
  net1::testing::RunConditions when;
  when.large = argc == 5;
  const unsigned first = static_cast<unsigned>(std::atoi(argv[1]));
  const unsigned last = static_cast<unsigned>(std::atoi(argv[2]));
  const int steps = std::atoi(argv[3]);
  for (unsigned seed = first; seed <= last; ++seed) {
    const auto run = net1::testing::runRandomNetwork(seed, when, steps);
    std::printf("== seed %u: %zu bytes of trace\n%s%s", seed, run.trace.size(), run.trace.c_str(), run.state.c_str());
  }
  return 0;
}
