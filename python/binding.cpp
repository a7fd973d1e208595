// net1's engine for Python: a simulation of any description, run from
// Python, recording its lines into numpy arrays without text in between.
// A thin layer over the programs' own code: the same descriptions, keys,
// messages and trace files, the same engine.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "description_file.h"
#include "experiments.h"
#include "keys.h"
#include "options.h"
#include "outputs.h"
#include "progress.h"
#include "settings.h"
#include "simulation.h"

namespace py = pybind11;
using namespace net1;
using namespace net1::drivers;
using trace::bit;
using trace::Kind;

namespace {

// The engine keeps process-wide state (the generator): one simulation at a
// time works in it, whichever thread calls.
std::mutex engineLock;

template <class T>
py::array_t<T> toArray(std::vector<T>&& values) {
  auto* owned = new std::vector<T>(std::move(values));
  py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

// A recorded column: it grows in place, its memory mapped as it is written
// (in huge pages where the kernel gives them, since faulting in small pages
// costs more than the recording here), moved rather than copied when it
// grows, and handed to numpy as it is.
template <class T>
class Column {
 public:
  Column() = default;
  Column(const Column&) = delete;
  Column& operator=(const Column&) = delete;
  ~Column() { unmap(); }

  void push_back(T value) {
    if (size_ == capacity_) grow();
    data_[size_++] = value;
  }
  std::size_t size() const { return size_; }

  // The column as a numpy array; `drain` hands the memory over and starts
  // the column anew, else it is copied.
  py::array_t<T> array(bool drain) {
    if (!drain || size_ == 0) return py::array_t<T>(static_cast<py::ssize_t>(size_), data_);
    struct Mapping {
      void* at;
      std::size_t bytes;
    };
    auto* mapping = new Mapping{data_, bytes_};
    py::capsule owner(mapping, [](void* p) {
      auto* m = static_cast<Mapping*>(p);
      ::munmap(m->at, m->bytes);
      delete m;
    });
    py::array_t<T> out(static_cast<py::ssize_t>(size_), data_, owner);
    data_ = nullptr;
    size_ = capacity_ = bytes_ = 0;
    return out;
  }

 private:
  static constexpr std::size_t kFirst = std::size_t{2} << 20;  // a huge page

  void grow() {
    const std::size_t bytes = bytes_ ? 2 * bytes_ : kFirst;
    void* at = bytes_ ? ::mremap(data_, bytes_, bytes, MREMAP_MAYMOVE)
                      : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) throw std::bad_alloc();
    ::madvise(at, bytes, MADV_HUGEPAGE);
    data_ = static_cast<T*>(at);
    bytes_ = bytes;
    capacity_ = bytes / sizeof(T);
  }
  void unmap() {
    if (data_) ::munmap(data_, bytes_);
    data_ = nullptr;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0, capacity_ = 0, bytes_ = 0;
};

// What a recorder keeps, per kind of record; a Python name each.
constexpr trace::KindSet kSpikes = bit(Kind::spk);
constexpr trace::KindSet kSwitches = bit(Kind::swon) | bit(Kind::swoff);
constexpr trace::KindSet kWeights = bit(Kind::ustdp) | bit(Kind::dstdp);
constexpr trace::KindSet kThresholds = bit(Kind::uthr) | bit(Kind::dthr);
constexpr trace::KindSet kVolts = bit(Kind::volt);

trace::KindSet kindsNamed(const std::vector<std::string>& names) {
  trace::KindSet kinds = 0;
  for (const std::string& n : names) {
    if (n == "spikes") {
      kinds |= kSpikes;
    } else if (n == "switches") {
      kinds |= kSwitches;
    } else if (n == "weights") {
      kinds |= kWeights;
    } else if (n == "thresholds") {
      kinds |= kThresholds;
    } else if (n == "volts") {
      kinds |= kVolts;
    } else {
      throw py::value_error("unknown kind of record '" + n +
                            "': expected spikes, switches, weights, thresholds or volts");
    }
  }
  return kinds;
}

// Columns of the lines collected, kept as the engine hands them over.
struct Recorder {
  trace::KindSet kinds = 0;
  std::vector<bool> group;  // by group index: recorded; empty: every group
  double start = -std::numeric_limits<double>::infinity();
  double end = std::numeric_limits<double>::infinity();

  std::vector<std::string> names;  // the groups, by index
  // A line's group names are the engine's own group records: their
  // addresses tell them apart at once.
  std::vector<const char*> seen;
  std::vector<std::uint16_t> seenIndex;

  struct Spikes {
    Column<double> time;
    Column<std::uint16_t> group;
    Column<std::int32_t> unit;
  } spikes;
  struct Switches {
    Column<double> time;
    Column<std::uint16_t> preGroup, postGroup;
    Column<std::int32_t> pre, post;
    Column<std::uint8_t> on;
  } switches;
  struct Weights {
    Column<double> time;
    Column<std::uint16_t> preGroup, postGroup;
    Column<std::int32_t> pre, post;
    Column<float> change, weight;
    Column<std::uint8_t> postFired;  // ustdp: the post unit fired; dstdp: the pre unit
  } weights;
  struct Thresholds {
    Column<double> time;
    Column<std::uint16_t> group;
    Column<std::int32_t> unit;
    Column<float> rate, threshold;
    Column<std::uint8_t> up;
  } thresholds;
  struct Volts {
    Column<std::uint16_t> group;
    Column<double> windowEnd;
    Column<float> inputSum, changeSum;
  } volts;

  std::uint16_t groupIndex(std::string_view name) {
    for (std::size_t i = 0; i < seen.size(); ++i) {
      if (seen[i] == name.data()) return seenIndex[i];
    }
    std::uint16_t index = 0;
    while (index < names.size() && names[index] != name) ++index;
    seen.push_back(name.data());
    seenIndex.push_back(index);
    return index;
  }
  bool keeps(std::uint16_t g) const { return group.empty() || (g < group.size() && group[g]); }
  bool during(double t) const { return t >= start && t < end; }

  static void take(void* to, Kind kind, const trace::Value* v, std::size_t) {
    static_cast<Recorder*>(to)->add(kind, v);
  }
  void add(Kind kind, const trace::Value* v) {
    switch (kind) {
      case Kind::spk: {
        const std::uint16_t g = groupIndex(v[1].name);
        if (!keeps(g) || !during(v[0].real)) return;
        spikes.time.push_back(v[0].real);
        spikes.group.push_back(g);
        spikes.unit.push_back(static_cast<std::int32_t>(v[2].integer));
        return;
      }
      case Kind::swon:
      case Kind::swoff: {
        const std::uint16_t g1 = groupIndex(v[1].name), g2 = groupIndex(v[4].name);
        if ((!keeps(g1) && !keeps(g2)) || !during(v[0].real)) return;
        switches.time.push_back(v[0].real);
        switches.preGroup.push_back(g1);
        switches.pre.push_back(static_cast<std::int32_t>(v[2].integer));
        switches.postGroup.push_back(g2);
        switches.post.push_back(static_cast<std::int32_t>(v[5].integer));
        switches.on.push_back(kind == Kind::swon);
        return;
      }
      case Kind::ustdp:
      case Kind::dstdp: {
        const std::uint16_t g1 = groupIndex(v[1].name), g2 = groupIndex(v[4].name);
        if ((!keeps(g1) && !keeps(g2)) || !during(v[0].real)) return;
        weights.time.push_back(v[0].real);
        weights.preGroup.push_back(g1);
        weights.pre.push_back(static_cast<std::int32_t>(v[2].integer));
        weights.postGroup.push_back(g2);
        weights.post.push_back(static_cast<std::int32_t>(v[5].integer));
        weights.change.push_back(static_cast<float>(v[6].real));
        weights.weight.push_back(static_cast<float>(v[7].real));
        weights.postFired.push_back(kind == Kind::ustdp);
        return;
      }
      case Kind::uthr:
      case Kind::dthr: {
        const std::uint16_t g = groupIndex(v[1].name);
        if (!keeps(g) || !during(v[0].real)) return;
        thresholds.time.push_back(v[0].real);
        thresholds.group.push_back(g);
        thresholds.unit.push_back(static_cast<std::int32_t>(v[2].integer));
        thresholds.rate.push_back(static_cast<float>(v[4].real));
        thresholds.threshold.push_back(static_cast<float>(v[5].real));
        thresholds.up.push_back(kind == Kind::uthr);
        return;
      }
      case Kind::volt: {
        const std::uint16_t g = groupIndex(v[0].name);
        if (!keeps(g) || !during(v[1].real)) return;
        volts.group.push_back(g);
        volts.windowEnd.push_back(v[1].real);
        volts.inputSum.push_back(static_cast<float>(v[2].real));
        volts.changeSum.push_back(static_cast<float>(v[3].real));
        return;
      }
      default:
        return;
    }
  }
};

// The run's text goes nowhere when no trace file is asked for.
class Discard : public Sink {
 public:
  int write(const char*, std::size_t) override { return 0; }
};

// Values from Python as --set spells them, so that a setting means and
// says what it does on the command line.
std::string settingText(const py::handle& value) {
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>() ? "true" : "false";
  if (py::isinstance<py::int_>(value)) return py::str(value);
  if (py::isinstance<py::float_>(value)) return py::str(py::repr(value));
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (py::isinstance<py::array>(value) && py::array(py::reinterpret_borrow<py::object>(value)).ndim() == 0) {
    return settingText(value.attr("item")());  // a numpy scalar
  }
  if (py::hasattr(value, "__iter__")) {
    std::string text = "[";
    for (const py::handle item : py::iter(value)) {
      if (text.size() > 1) text += ", ";
      text += settingText(item);
    }
    return text + "]";
  }
  if (py::hasattr(value, "item")) return settingText(value.attr("item")());  // a numpy scalar
  throw py::value_error("a setting's value must be a number, a flag, a name or a list, got " +
                        std::string(py::str(py::type::of(value))));
}

class PySimulation {
 public:
  PySimulation(const std::string& source, bool isText, std::optional<std::uint32_t> seed,
               const std::vector<std::pair<std::string, py::object>>& settings,
               const std::vector<std::string>& outputs, const std::vector<std::string>& traceKinds)
      : settings_(Description{}, "") {
    std::lock_guard<std::mutex> lock(engineLock);
    try {
      if (isText) {
        settings_.load(parseDescription(source, "the description"), "the description");
      } else if (const Experiment* e = ::access(source.c_str(), F_OK) != 0 ? findExperiment(source) : nullptr) {
        settings_.load(experimentDescription(*e), std::string(e->name));
      } else {
        settings_.readFile(source, true);
      }
      for (const auto& [key, value] : settings) settings_.set(key + "=" + settingText(value), "--set");
      d_ = settings_.finish(
          "missing rateFactor: edition 2 scales switching by it here; give it with settings={\"rateFactor\": F} "
          "(1 is neutral)");
    } catch (const UsageError& e) {
      throw py::value_error(e.what());
    }
    if (settings_.recorded() && !seed) seed = settings_.recorded()->seed;
    seed_ = seed.value_or(static_cast<std::uint32_t>(std::time(nullptr)));
    for (const GroupSpec& g : d_.groups) recorder_.names.push_back(g.name);
    recorder_.kinds = kSpikes | kSwitches;

    // Trace files get what the command line writes, the report at the end.
    Options options;
    for (const std::string& k : traceKinds) {
      if (k == "plasticity") {
        options.tracePlasticity = true;
      } else if (k == "volt") {
        options.traceVolt = true;
      } else {
        throw py::value_error("unknown trace '" + k + "': expected plasticity or volt");
      }
    }
    routing_.kinds = outputs.empty() ? 0 : recordedKinds(options);
    routing_.plasticity = !outputs.empty() && options.tracePlasticity;
    routing_.volt = !outputs.empty() && options.traceVolt;
    if (!outputs.empty()) {
      outputs_ = std::make_unique<TraceOutputs>(outputs, false);
      if (!outputs_->open()) throw py::value_error(outputs_->error());
    } else {
      discardStream_ = std::make_unique<Stream>(&discard_);
    }
    seedRandom(seed_, d_.run.generator);
    build();
  }

  ~PySimulation() {
    std::lock_guard<std::mutex> lock(engineLock);
    sim_.reset();
    if (random_) freeRandomState(random_);
  }

  // Runs `steps` more steps (all that remain when none given), or, with
  // `until`, up to that time, delivering the stimuli due before it.
  void run(std::optional<long> steps, std::optional<double> until, double progressSeconds) {
    if (steps && *steps < 0) throw py::value_error("steps must not be negative");
    if (closed_) throw py::value_error("the simulation was closed");
    const long left = d_.run.steps - sim_->stepsDone();
    long todo = steps ? std::min(*steps, left) : left;
    std::unique_ptr<Progress> progress;
    if (progressSeconds > 0) progress = std::make_unique<Progress>("net1", d_.run.steps, progressSeconds);
    RunWatch watch;
    watch.progress = progress.get();
    watch.stepsDone = sim_->stepsDone();
    // In slices of about a tenth of a second at most, so that Ctrl-C is
    // seen soon: the engine runs without the interpreter meanwhile.
    long slice = 256;
    for (;;) {
      const long n = std::min(slice, todo);
      const auto began = std::chrono::steady_clock::now();
      bool ok = true, done = false;
      {
        py::gil_scoped_release released;
        std::lock_guard<std::mutex> lock(engineLock);
        restoreRandom(random_);
        const long before = sim_->stepsDone();
        ok = until ? sim_->runUntil(*until, n, watch) : sim_->run(n, watch);
        todo -= sim_->stepsDone() - before;
        done = todo <= 0 || (until && sim_->now() >= *until) || sim_->stepsDone() - before < n;
        random_ = saveState(random_);
      }
      if (!ok && !(watch.stop && *watch.stop)) failOutputs();
      if (PyErr_CheckSignals() != 0) {
        abandonOutputs();
        throw py::error_already_set();
      }
      if (done) break;
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      if (seconds < 0.05 && slice < (1L << 24)) slice *= 2;
    }
    if (progress) progress->finish(sim_->stepsDone(), sim_->now());
    if (sim_->stepsDone() == d_.run.steps) finish();
  }

  void inject(std::size_t group, const std::vector<std::uint32_t>& units, const std::vector<double>& times,
              const std::vector<float>& amounts) {
    if (units.size() != times.size() || units.size() != amounts.size()) {
      throw py::value_error("units, times and amounts must be of one length");
    }
    std::lock_guard<std::mutex> lock(engineLock);
    for (std::size_t i = 0; i < units.size(); ++i) {
      const std::string problem = sim_->inject(group, units[i], times[i], amounts[i]);
      if (!problem.empty()) throw py::value_error(problem);
    }
  }

  void change(const std::vector<std::pair<std::string, py::object>>& settings) {
    std::lock_guard<std::mutex> lock(engineLock);
    SettingsBuilder changed(d_, "the simulation");
    try {
      for (const auto& [key, value] : settings) changed.set(key + "=" + settingText(value), "--set");
      const Description& now = changed.finish("missing rateFactor");
      const std::string problem = sim_->change(now);
      if (!problem.empty()) throw py::value_error(problem);
      d_ = now;
    } catch (const UsageError& e) {
      throw py::value_error(e.what());
    }
  }

  void switchOff() {
    std::lock_guard<std::mutex> lock(engineLock);
    sim_->switchOff();
  }

  void record(const std::vector<std::string>& kinds, const std::optional<std::vector<std::string>>& groups,
              std::optional<double> start, std::optional<double> end) {
    const trace::KindSet set = kindsNamed(kinds);
    std::vector<bool> keep;
    if (groups) {
      keep.assign(d_.groups.size(), false);
      for (const std::string& name : *groups) {
        std::size_t i = 0;
        while (i < d_.groups.size() && d_.groups[i].name != name) ++i;
        if (i == d_.groups.size()) throw py::value_error("there is no group '" + name + "'");
        keep[i] = true;
      }
    }
    std::lock_guard<std::mutex> lock(engineLock);
    recorder_.kinds = set;
    recorder_.group = std::move(keep);
    recorder_.start = start.value_or(-std::numeric_limits<double>::infinity());
    recorder_.end = end.value_or(std::numeric_limits<double>::infinity());
    stream().collect(set, &Recorder::take, &recorder_);
  }

  // The records of a kind so far, as columns; `drain` hands them over.
  py::dict take(const std::string& kind, bool drain) {
    std::lock_guard<std::mutex> lock(engineLock);
    py::dict d;
    auto put = [&](const char* name, auto& column) { d[name] = column.array(drain); };
    Recorder& r = recorder_;
    if (kind == "spikes") {
      put("time", r.spikes.time), put("group", r.spikes.group), put("unit", r.spikes.unit);
    } else if (kind == "switches") {
      put("time", r.switches.time), put("pre_group", r.switches.preGroup), put("pre", r.switches.pre);
      put("post_group", r.switches.postGroup), put("post", r.switches.post), put("on", r.switches.on);
    } else if (kind == "weights") {
      put("time", r.weights.time), put("pre_group", r.weights.preGroup), put("pre", r.weights.pre);
      put("post_group", r.weights.postGroup), put("post", r.weights.post), put("change", r.weights.change);
      put("weight", r.weights.weight), put("post_fired", r.weights.postFired);
    } else if (kind == "thresholds") {
      put("time", r.thresholds.time), put("group", r.thresholds.group), put("unit", r.thresholds.unit);
      put("rate", r.thresholds.rate), put("threshold", r.thresholds.threshold), put("up", r.thresholds.up);
    } else if (kind == "volts") {
      put("group", r.volts.group), put("window_end", r.volts.windowEnd), put("input_sum", r.volts.inputSum);
      put("change_sum", r.volts.changeSum);
    } else {
      throw py::value_error("unknown kind of record '" + kind + "'");
    }
    return d;
  }

  py::dict units() const {
    UnitTable t;
    {
      std::lock_guard<std::mutex> lock(engineLock);
      sim_->units(t);
    }
    py::dict d;
    d["group"] = toArray(std::move(t.group)), d["id"] = toArray(std::move(t.id));
    d["exc"] = toArray(std::move(t.excitatory)), d["threshold"] = toArray(std::move(t.threshold));
    d["leak"] = toArray(std::move(t.leak)), d["reset"] = toArray(std::move(t.resetPotential));
    d["potential"] = toArray(std::move(t.potential)), d["last_spike"] = toArray(std::move(t.lastSpike));
    d["in_total"] = toArray(std::move(t.inTotal)), d["in_active"] = toArray(std::move(t.inActive));
    d["in_weight"] = toArray(std::move(t.inWeight)), d["out_total"] = toArray(std::move(t.outTotal));
    d["out_active"] = toArray(std::move(t.outActive)), d["out_weight"] = toArray(std::move(t.outWeight));
    return d;
  }

  py::dict synapses() const {
    SynapseTable t;
    {
      std::lock_guard<std::mutex> lock(engineLock);
      sim_->synapses(t);
    }
    py::dict d;
    d["pre_group"] = toArray(std::move(t.preGroup)), d["pre"] = toArray(std::move(t.pre));
    d["post_group"] = toArray(std::move(t.postGroup)), d["post"] = toArray(std::move(t.post));
    d["active"] = toArray(std::move(t.active)), d["weight"] = toArray(std::move(t.weight));
    d["delay"] = toArray(std::move(t.delay)), d["last_switch"] = toArray(std::move(t.lastSwitch));
    return d;
  }

  // Ends the simulation: trace files not yet complete are removed.
  void close() {
    std::lock_guard<std::mutex> lock(engineLock);
    if (outputs_) outputs_->abandon();
    closed_ = true;
  }

  std::string descriptionText() const { return descriptionToml(d_, settings_.base(), settings_.baseName(), "net1: a description"); }
  std::vector<std::string> groups() const { return recorder_.names; }
  double now() const { return sim_->now(); }
  long stepsDone() const { return sim_->stepsDone(); }
  long steps() const { return d_.run.steps; }
  std::uint32_t seed() const { return seed_; }
  bool finished() const { return finished_; }

 private:
  Stream& stream() { return outputs_ ? outputs_->stream() : *discardStream_; }

  void build() {
    // Every kind that can be recorded reaches the stream; the recorder
    // keeps the ones asked for.
    routing_.collected = kSpikes | kSwitches | kWeights | kThresholds | kVolts;
    stream().collect(recorder_.kinds, &Recorder::take, &recorder_);
    sim_ = makeSimulation(d_, stream(), routing_, nullptr);
    random_ = saveState(nullptr);
  }

  static RandomState* saveState(RandomState* old) {
    if (old) freeRandomState(old);
    return saveRandom();
  }

  void finish() {
    if (finished_ || closed_) return;
    finished_ = true;
    if (!outputs_) return;
    std::lock_guard<std::mutex> lock(engineLock);
    sim_->report();
    stream().formatHere();
    if (!outputs_->commit()) throw py::value_error(outputs_->error());
  }

  void abandonOutputs() {
    if (outputs_) outputs_->abandon();
    closed_ = true;
  }

  void failOutputs() {
    if (!outputs_) return;
    outputs_->abandonAfterError();
    closed_ = true;
    throw std::runtime_error("error " + outputs_->error() + "; no output file was written");
  }

  SettingsBuilder settings_;
  Description d_;
  std::uint32_t seed_ = 0;
  TraceRouting routing_;
  Discard discard_;
  std::unique_ptr<Stream> discardStream_;
  std::unique_ptr<TraceOutputs> outputs_;
  Recorder recorder_;
  std::unique_ptr<Simulation> sim_;
  RandomState* random_ = nullptr;
  bool finished_ = false;
  bool closed_ = false;
};

}  // namespace

PYBIND11_MODULE(_net1, m) {
  m.doc() = "net1's engine: build, run and record a network description";
  py::class_<PySimulation>(m, "Simulation")
      .def(py::init<const std::string&, bool, std::optional<std::uint32_t>,
                    const std::vector<std::pair<std::string, py::object>>&, const std::vector<std::string>&,
                    const std::vector<std::string>&>(),
           py::arg("source"), py::arg("is_text"), py::arg("seed"), py::arg("settings"), py::arg("outputs"),
           py::arg("trace"))
      .def("run", &PySimulation::run, py::arg("steps"), py::arg("until"), py::arg("progress"))
      .def("inject", &PySimulation::inject)
      .def("change", &PySimulation::change)
      .def("switch_off", &PySimulation::switchOff)
      .def("record", &PySimulation::record)
      .def("take", &PySimulation::take)
      .def("units", &PySimulation::units)
      .def("synapses", &PySimulation::synapses)
      .def("close", &PySimulation::close)
      .def("description", &PySimulation::descriptionText)
      .def_property_readonly("groups", &PySimulation::groups)
      .def_property_readonly("now", &PySimulation::now)
      .def_property_readonly("steps_done", &PySimulation::stepsDone)
      .def_property_readonly("steps", &PySimulation::steps)
      .def_property_readonly("seed", &PySimulation::seed)
      .def_property_readonly("finished", &PySimulation::finished);
  m.def("experiments", [] {
    std::vector<std::string> names;
    for (const Experiment& e : experiments()) names.emplace_back(e.name);
    return names;
  });
  m.def(
      "check_description",
      [](const std::string& text) {
        try {
          SettingsBuilder b(parseDescription(text, "the description"), "the description");
          const Description& d = b.finish("missing rateFactor");
          return descriptionToml(d, d, "the description", "net1: a description");
        } catch (const UsageError& e) {
          throw py::value_error(e.what());
        }
      },
      "The description as net1 reads it, complete; ValueError with the command line's message if it cannot run.");
}
