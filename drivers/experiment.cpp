#include "experiment.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "progress.h"

#ifndef NET1_VERSION
#define NET1_VERSION "unknown"
#endif

namespace net1::drivers {

bool runExperiment(const ProgramSettings& p, const Options& options, Stream& out, Progress* progress,
                   RunStats* stats) {
  Network n = buildNetwork(p);

  EventQueue* q = allocRecord<EventQueue>();
  if (!options.traceless) {
    q->spikeLog = &out;
    q->switchLog = &out;
    if (options.tracePlasticity) q->plasticityLog = &out;
    if (options.traceVolt) q->voltLog = &out;
  }
#if NET1_EDITION == 2
  q->rateFactor = options.rateFactor;
#endif

  const bool completed = stimulate(p, n, q, options.steps.value_or(p.steps), out, progress);
  if (progress) progress->finish();
  if (completed) {
    printUnits(&out, n.sorc);
    printUnits(&out, n.rsvr);
    printUnits(&out, n.sink);
    printSynapses(&out, n.sorc);
    printSynapses(&out, n.rsvr);
  }
  if (stats) stats->events = q->added;
  // Events still pending, the last stimulus among them, are released undelivered.
  freeNetwork(n);
  freeQueue(q);
  return completed;
}

int programMain(std::string_view name, int argc, char** argv) {
  const std::string program(name);
  const ProgramSettings* p = findProgram(name);
  if (!p || p->edition != NET1_EDITION) {
    std::fprintf(stderr, "%s: no such experiment in engine edition %d\n", program.c_str(), NET1_EDITION);
    return 1;
  }
  ParseResult parsed = parseOptions(*p, argc, argv);
  switch (parsed.kind) {
    case ParseResult::Help:
      std::fputs(usageText(*p).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParseResult::Version:
      std::printf("%s %s\n", program.c_str(), NET1_VERSION);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParseResult::Error:
      std::fprintf(stderr, "%s\n", parsed.message.c_str());
      return 2;
    case ParseResult::Run:
      break;
  }
  Options& options = parsed.options;
  if (options.steps && *options.steps > p->steps) {
    std::fprintf(stderr, "%s: --steps must be at most %ld, the length of the experiment\n", program.c_str(), p->steps);
    return 2;
  }

  // A clock seed is printed as well, so that any run can be repeated.
  const std::uint32_t seed = options.seed.value_or(static_cast<std::uint32_t>(std::time(nullptr)));
  std::fprintf(stderr, "seed %u\n", seed);
  seedRandom(seed);

  std::unique_ptr<Progress> progress;
  if (Progress::wanted()) progress = std::make_unique<Progress>(program, options.steps.value_or(p->steps));

  Stream* out = standardOutput();
  const bool completed = runExperiment(*p, options, *out, progress.get());
  out->flush();
  if (!completed || out->error() != 0) {
    std::fprintf(stderr, "%s: error writing standard output: %s; the output is incomplete\n", program.c_str(),
                 std::strerror(out->error()));
    return 1;
  }
  return 0;
}

}  // namespace net1::drivers
