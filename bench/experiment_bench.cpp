// Runs one experiment with seed 1 (factor 1.0 for the XOR programs) and
// reports on standard error how long it took and how many events it
// processed; the output goes to standard output as the program's would.
//
//   exp-bench PROGRAM [--traceless] [--steps N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "experiment.h"
#include "experiments.h"

using namespace net1;
using namespace net1::drivers;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PROGRAM [--traceless] [--steps N]\n", argv[0]);
    return 2;
  }
  const Experiment* e = findExperiment(argv[1]);
  if (!e) {
    std::fprintf(stderr, "%s: %s is not an experiment\n", argv[0], argv[1]);
    return 2;
  }
  Description d = experimentDescription(*e);
  if (d.run.edition == 2) d.run.rateFactor = 1.0f;
  Options options;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--traceless") == 0) {
      options.traceless = true;
    } else if (std::strcmp(argv[i], "--steps") == 0 && i + 1 < argc) {
      d.run.steps = std::atol(argv[++i]);
    } else {
      std::fprintf(stderr, "%s: unknown argument %s\n", argv[0], argv[i]);
      return 2;
    }
  }
  seedRandom(1, d.run.generator);
  RunStats stats;
  const auto start = std::chrono::steady_clock::now();
  Stream* out = standardOutput();
  RunWatch watch;
  const bool ok = runDescription(d, options, *out, watch, &stats);
  out->flush();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "%s%s: %.2f s, %llu events, %.1f million events/s\n", argv[1],
               options.traceless ? " (traceless)" : "", seconds, static_cast<unsigned long long>(stats.events),
               static_cast<double>(stats.events) / seconds / 1e6);
  return ok && out->error() == 0 ? 0 : 1;
}
