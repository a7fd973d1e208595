#include "experiment.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "build_info.h"
#include "description_file.h"
#include "outputs.h"
#include "progress.h"
#include "run_record.h"

namespace net1::drivers {

bool runDescription(const Description& d, const Options& options, Stream& out, RunWatch& watch, RunStats* stats) {
  TraceRouting routing;
  routing.kinds = recordedKinds(options);
  routing.plasticity = options.tracePlasticity;
  routing.volt = options.traceVolt;
  routing.traceless = options.traceless;
  std::unique_ptr<Simulation> sim = makeSimulation(d, out, routing, watch.stop);
  if (!sim) return false;  // stopped while it was being built

  auto stopped = [&] { return watch.stop && *watch.stop; };
  bool completed = !stopped() && sim->run(d.run.steps, watch);
  if (watch.progress) watch.progress->finish(watch.stepsDone, sim->now());
  if (completed) {
    sim->report();
    completed = !stopped();
  }
  if (stats) stats->events = sim->eventsAdded();
  return completed;
}

namespace {

// The run in progress, for the two ways a run can end without returning:
// the engine's fatal path, which ends the process with exit(), and a signal,
// which asks the loop to stop. Either way no output file may appear under
// its name, and the run record says what happened.
struct ActiveRun {
  const char* program = nullptr;
  TraceOutputs* outputs = nullptr;
  RunRecord* record = nullptr;
  const RunWatch* watch = nullptr;
  bool ended = false;
};
ActiveRun* active = nullptr;
// Room to write the run record after memory ran out.
void* reserve = nullptr;
volatile std::sig_atomic_t stopSignal = 0;
// The engine's fatal message, kept for the run record; a fixed buffer,
// since memory may have run out.
char fatalMessage[160] = {};

// Called by the engine before it reports a fatal error: the trace written
// so far goes out first, so that on standard output the message follows
// it, and the message is kept for the record.
void beforeFatal(const char* message) {
  while (*message == '\n') ++message;
  std::snprintf(fatalMessage, sizeof fatalMessage, "%s", message);
  if (active && !active->ended) active->outputs->stream().flush();
}

extern "C" void onStopSignal(int signal) {
  // A second signal ends the process at once, as if there were no handler.
  if (stopSignal != 0) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  stopSignal = signal;
}

void catchStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  // A reader that went away, or a file grown past its limit, is a failed
  // write, to be cleaned up after.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

void afterFatalExit() {
  ActiveRun* run = active;
  if (!run || run->ended) return;
  run->ended = true;
  std::free(reserve);
  reserve = nullptr;
  const bool files = run->outputs->hasFiles();
  run->outputs->abandon();
  if (files) std::fprintf(stderr, "%s: the run ended on a fatal error; no output file was written\n", run->program);
  if (run->record) {
    try {
      RunOutcome outcome;
      outcome.stepsDone = run->watch->stepsDone;
      outcome.linesWritten = run->outputs->lines();
      outcome.exitStatus = 1;
      outcome.error = std::string("fatal engine error: ") + fatalMessage;
      if (!run->record->write(outcome)) {
        std::fprintf(stderr, "%s: %s\n", run->program, run->record->error().c_str());
      }
    } catch (const std::exception&) {
      std::fprintf(stderr, "%s: the run record could not be written\n", run->program);
    }
  }
}

// Text for standard output outside a run (help, version, settings): a
// failed write is reported, not lost.
int printText(const std::string& program, const std::string& text) {
  errno = 0;
  const bool ok = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
  if (ok) return 0;
  std::fprintf(stderr, "%s: error writing standard output: %s\n", program.c_str(),
               errno ? std::strerror(errno) : "write failed");
  return 1;
}

const char* signalName(int s) {
  switch (s) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
  }
  return "a signal";
}

int run(const std::string& program, const CommandLine& command, int argc, char** argv, std::uint32_t seed) {
  const Options& options = command.options;
  const Description& d = command.description;

  std::unique_ptr<RunRecord> record;
  if (!options.meta.empty()) {
    record = std::make_unique<RunRecord>(program, command, argc, argv, seed);
    if (!record->open(options.meta)) {
      std::fprintf(stderr, "%s: %s\n", program.c_str(), record->error().c_str());
      return 1;
    }
  }
  RunWatch watch;
  TraceOutputs outputs(options.outputs, record != nullptr);
  auto finish = [&](int status, const std::string& error) {
    if (!error.empty()) std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
    if (record) {
      RunOutcome outcome{watch.stepsDone, outputs.lines(), status, error};
      if (!record->write(outcome)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), record->error().c_str());
        if (status == 0) status = 1;
      }
    }
    return status;
  };
  if (!outputs.open()) return finish(1, outputs.error());

  ActiveRun current{program.c_str(), &outputs, record.get(), &watch};
  struct Forget {
    ~Forget() { active = nullptr; }
  } forget;  // however this function is left
  const bool cleanUp = record || outputs.hasFiles();
  if (cleanUp) {
    static const bool registered = std::atexit(afterFatalExit) == 0;
    (void)registered;
    if (!reserve) reserve = std::malloc(1 << 20);
    active = &current;
    setFatalHook(beforeFatal);
    catchStopSignals();
    watch.stop = &stopSignal;
  }

  std::unique_ptr<Progress> progress;
  if (options.progressSeconds > 0) {
    progress = std::make_unique<Progress>(program, d.run.steps, options.progressSeconds);
  } else if (Progress::wanted()) {
    progress = std::make_unique<Progress>(program, d.run.steps);
  }
  watch.progress = progress.get();

  // Memory that runs out inside the run ends it on the engine's fatal path
  // here, while the outputs and the record are still there to clean up.
  bool completed = false;
  try {
    completed = runDescription(d, options, outputs.stream(), watch);
  } catch (const std::bad_alloc&) {
    fatal("\nbad calloc");
  }
  const int signal = stopSignal;
  std::string error;
  if (signal != 0) {
    outputs.abandon();
    error = std::string("stopped by ") + signalName(signal) + " after " + std::to_string(watch.stepsDone) + " steps";
  } else if (!completed) {
    outputs.abandonAfterError();
    error = "error " + outputs.error();
  } else if (!outputs.commit()) {
    error = "error " + outputs.error();
  }
  if (!error.empty()) error += outputs.hasFiles() ? "; no output file was written" : "; the output is incomplete";
  current.ended = true;
  active = nullptr;
  std::free(reserve);
  reserve = nullptr;
  const int status = finish(signal != 0 ? 128 + signal : error.empty() ? 0 : 1, error);
  if (signal != 0) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  return status;
}

int runProgram(std::string_view name, int argc, char** argv) {
  const std::string program(name);
  const std::optional<Program> found = findProgramNamed(name);
  if (!found) {
    std::fprintf(stderr, "%s: no such experiment\n", program.c_str());
    return 1;
  }
  CommandLine command;
  try {
    command = parseCommandLine(*found, argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), e.what());
    return 2;
  }
  switch (command.kind) {
    case CommandLine::Help:
      return printText(program, usageText(*found));
    case CommandLine::Version:
      return printText(program, program + " " + buildVersion() + "\nbuilt from commit " + buildCommit() + "\n");
    case CommandLine::PrintParams: {
      const std::string title = program + " " + buildVersion() + ": the description of a run" +
                                (command.baseName == program ? "" : ", from " + command.baseName);
      return printText(program, descriptionToml(command.description, command.base, command.baseName, title));
    }
    case CommandLine::Run:
      break;
  }
  for (const std::string& note : command.notes) std::fprintf(stderr, "%s: note: %s\n", program.c_str(), note.c_str());

  // A clock seed is printed as well, so that any run can be repeated.
  const std::uint32_t seed = command.options.seed.value_or(static_cast<std::uint32_t>(std::time(nullptr)));
  std::fprintf(stderr, "seed %u\n", seed);
  seedRandom(seed, command.description.run.generator);
  return run(program, command, argc, argv, seed);
}

}  // namespace

int programMain(std::string_view name, int argc, char** argv) {
  // Running out of memory anywhere in the drivers ends the program as it
  // does in the engine.
  try {
    return runProgram(name, argc, argv);
  } catch (const std::bad_alloc&) {
    fatal("\nbad calloc");
  }
}

}  // namespace net1::drivers
