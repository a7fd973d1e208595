#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "draws.h"
#include "experiment.h"
#include "experiments.h"

using namespace net1;
using namespace net1::drivers;
using net1::testing::drawsSince;
using net1::trace::bit;
using net1::trace::Kind;

namespace {

Description experiment(std::string_view name) { return experimentDescription(*findExperiment(name)); }

// The input group alone, without synapses: the engine then draws nothing,
// so every draw of a run is the stimulation's own.
Description inputsOnly(std::string_view program) {
  Description d = experiment(program);
  d.groups.resize(1);
  d.pathways.clear();
  return d;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The trace lines of `steps` stimuli, without the report, the generator
// seeded first.
std::vector<std::string> stimulate(const Description& d, long steps, std::uint32_t seed) {
  std::string text;
  {
    Stream out(&text);
    seedRandom(seed, d.run.generator);
    std::unique_ptr<Simulation> sim = makeSimulation(d, out, TraceRouting{}, nullptr);
    RunWatch watch;
    EXPECT_TRUE(sim->run(steps, watch));
    EXPECT_EQ(watch.stepsDone, steps);
    sim.reset();
    out.flush();
  }
  return linesOf(text);
}

std::string spk(double t, int unit) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "spk %f sorc %d 1 1", t, unit);
  return buf;
}

// A whole run (build, stimulation, report) into memory.
std::string runText(const Description& d, const Options& options, std::uint32_t seed) {
  std::string text;
  Stream out(&text);
  seedRandom(seed, d.run.generator);
  RunWatch watch;
  EXPECT_TRUE(runDescription(d, options, out, watch));
  out.flush();
  return text;
}

std::size_t countKind(const std::string& text, const std::string& keyword) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(keyword + " ", at)) != std::string::npos; ++at) {
    n += at == 0 || text[at - 1] == '\n';
  }
  return n;
}

}  // namespace

TEST(stimulation, every_stimulus_fires_its_drawn_input_unit_at_its_time) {
  for (const char* name : {"exp-poisson", "exp-poisson-av", "exp-homog"}) {
    const Description d = inputsOnly(name);
    const auto lines = stimulate(d, 300, 99);
    // Replay the loop's draws: the interval, then the unit.
    seedRandom(99);
    double t = 0;
    ASSERT_EQ(lines.size(), 299u) << name;  // the last stimulus is never delivered
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const float u = randFloat(0.000001f, 0.999999f);
      t = -std::log(static_cast<double>(u)) * d.stimuli[0].interval + t;
      const int k = static_cast<int>(static_cast<std::uint32_t>(nextRandom()) % 40u);
      ASSERT_EQ(lines[i], spk(t, k)) << name << " stimulus " << i;
    }
  }
}

TEST(stimulation, sequence_runs_the_inputs_in_turn_and_switches_off_at_35000) {
  const auto lines = stimulate(inputsOnly("exp-seq"), 700001, 5);
  EXPECT_EQ(drawsSince(5), 0);  // a fixed schedule draws nothing
  ASSERT_EQ(lines.size(), 700001u);
  double t = 0;
  for (int k = 0; k < 2000; ++k) {
    t = 0.05 + t;  // the running sum of the intervals, as the queue's clock keeps it
    ASSERT_EQ(lines[k], spk(t, k % 40));
  }
  EXPECT_EQ(lines[0], "spk 0.050000 sorc 0 1 1");
  EXPECT_EQ(lines[39], "spk 2.000000 sorc 39 1 1");
  EXPECT_EQ(lines[40], "spk 2.050000 sorc 0 1 1");
  EXPECT_EQ(lines[699999], "swofftime 35000.000000");
  EXPECT_EQ(lines[700000], "spk 35000.000000 sorc 39 1 1");  // step 700000's stimulus, after the line
}

TEST(stimulation, homog_av_writes_the_bare_switch_off_line) {
  Description d = inputsOnly("exp-homog-av");
  d.run.switchOffAfter = 5;
  const auto lines = stimulate(d, 10, 1);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[4], "swofftime");
  EXPECT_EQ(lines[5].rfind("spk ", 0), 0u);
}

TEST(experiment, no_switching_after_the_switch_off_line_and_a_full_report) {
  Description d = experiment("exp-poisson");
  d.run.switchOffAfter = 2000;
  d.run.steps = 4000;
  const auto lines = linesOf(runText(d, Options{}, 1));
  std::size_t off = 0, units = 0, synapses = 0, switchesBefore = 0, switchesAfter = 0, nmpAfter = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    const bool isSwitch = l.rfind("swon ", 0) == 0 || l.rfind("swoff ", 0) == 0;
    if (l.rfind("swofftime ", 0) == 0) {
      EXPECT_EQ(off, 0u) << "one switch-off line only";
      off = i;
    } else if (isSwitch) {
      (off ? switchesAfter : switchesBefore) += 1;
    } else if (off && l.rfind("nmp ", 0) == 0) {
      ++nmpAfter;
    } else if (l.rfind("unit ", 0) == 0) {
      ++units;
    } else if (l.rfind("syn ", 0) == 0) {
      ++synapses;
    }
  }
  EXPECT_GT(off, 0u);
  EXPECT_GT(switchesBefore, 50u);
  EXPECT_EQ(switchesAfter, 0u);
  EXPECT_GT(nmpAfter, 0u);  // marks and their reports go on
  EXPECT_EQ(units, 1140u);
  EXPECT_GT(synapses, 110000u);
  EXPECT_EQ(lines.back().rfind("syn rsvr ", 0), 0u);
}

TEST(experiment, no_switch_line_while_no_group_switches) {
  Description d = experiment("exp-poisson");
  d.run.steps = 3000;
  for (GroupSpec& g : d.groups) g.parameters.switchProb = 0;
  const std::string text = runText(d, Options{}, 4);
  EXPECT_EQ(countKind(text, "swon"), 0u);
  EXPECT_EQ(countKind(text, "swoff"), 0u);
  EXPECT_GT(countKind(text, "spk"), 2900u);
}

TEST(experiment, threshold_adaptation_writes_uthr_lines_and_changes_nothing_else_when_traced) {
  Description d = experiment("exp-poisson");
  d.run.steps = 4000;
  d.groups[1].parameters.thrUpRate = 0.1f;
  d.groups[2].parameters.thrUpRate = 0.1f;
  Options traced;
  traced.tracePlasticity = true;
  const std::string with = runText(d, traced, 3);
  const std::string without = runText(d, Options{}, 3);
  EXPECT_GT(countKind(with, "uthr"), 10u);
  EXPECT_EQ(countKind(with, "dthr"), 0u);  // the edition-1 engine only raises thresholds
  EXPECT_EQ(countKind(without, "uthr"), 0u);
  std::string kept;
  for (const auto& line : linesOf(with)) {
    if (line.rfind("uthr ", 0) != 0) kept += line + "\n";
  }
  EXPECT_EQ(kept, without);
}

TEST(experiment, recording_some_kinds_equals_filtering_the_whole_output) {
  Description d = experiment("exp-stdp");
  d.run.steps = 3000;
  Options all;
  all.tracePlasticity = true;
  Options some = all;
  some.record = bit(Kind::spk) | bit(Kind::dstdp) | bit(Kind::swoff) | bit(Kind::syn);
  const std::string whole = runText(d, all, 9);
  std::string filtered;
  for (const auto& line : linesOf(whole)) {
    const std::string keyword = line.substr(0, line.find(' '));
    if (keyword == "spk" || keyword == "dstdp" || keyword == "swoff" || keyword == "syn") filtered += line + "\n";
  }
  EXPECT_GT(countKind(whole, "dstdp"), 0u);
  EXPECT_EQ(runText(d, some, 9), filtered);
}

TEST(experiment, a_stop_request_ends_the_run_before_its_report) {
  Description d = experiment("exp-poisson");
  d.run.steps = 100;
  std::string text;
  Stream out(&text);
  volatile std::sig_atomic_t stop = 15;
  RunWatch watch;
  watch.stop = &stop;
  EXPECT_FALSE(runDescription(d, Options{}, out, watch));
  out.flush();
  EXPECT_EQ(watch.stepsDone, 0);
  EXPECT_EQ(countKind(text, "unit"), 0u);
}

TEST(stimulation, first_xor_window_holds_19_stimuli_and_then_draws_a_pattern) {
  const Description d = inputsOnly("exp-xor-shift");
  ASSERT_EQ(stimulate(d, 19, 3).size(), 18u);
  EXPECT_EQ(drawsSince(3), 0);
  const auto lines = stimulate(d, 21, 3);
  EXPECT_EQ(drawsSince(3), 1);  // the draw of step index 19
  seedRandom(3);
  const int pattern = nextRandom() % 2;
  ASSERT_EQ(lines.size(), 20u);
  double t = 0;
  for (int k = 0; k < 19; ++k) {
    t = 0.05 + t;
    EXPECT_EQ(lines[k], spk(t, k));
  }
  EXPECT_EQ(lines[19], spk(0.05 + t, pattern ? 20 : 0));
}

TEST(stimulation, xor_shift_switches_off_with_the_bare_line_once) {
  Description d = inputsOnly("exp-xor-shift");
  d.run.switchOffAfter = 30;
  const auto lines = stimulate(d, 40, 1);
  ASSERT_EQ(lines.size(), 40u);
  EXPECT_EQ(lines[29], "swofftime");
  EXPECT_EQ(lines[30].rfind("spk ", 0), 0u);
}

TEST(experiment, xor_rand_runs_a_fixed_network_whatever_the_factor) {
  const Description p = experiment("exp-xor-rand");
  std::string first, second;
  for (float factor : {0.0f, 7.5f}) {
    Description q = p;
    q.run.steps = 300;
    q.run.rateFactor = factor;
    (factor == 0 ? first : second) = runText(q, Options{}, 11);
  }
  Description none = p;
  none.run.steps = 300;
  EXPECT_EQ(runText(none, Options{}, 11), first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.find("swon "), std::string::npos);
  EXPECT_EQ(first.find("swoff "), std::string::npos);
  // Every synapse starts and stays switched on.
  for (const auto& line : linesOf(first)) {
    if (line.rfind("syn ", 0) == 0) {
      std::istringstream fields(line);
      std::string word, g1, g2;
      int id1, id2, active;
      fields >> word >> g1 >> id1 >> g2 >> id2 >> active;
      ASSERT_EQ(active, 1) << line;
    }
  }
}

TEST(experiment, edition_2_lowers_thresholds_of_units_that_do_not_fire) {
  Description d = experiment("exp-xor-shift");
  d.run.steps = 4000;
  d.run.rateFactor = 1.0f;
  d.groups[1].parameters.thrUpRate = 0.05f;
  Options traced;
  traced.tracePlasticity = true;
  const std::string text = runText(d, traced, 5);
  EXPECT_GT(countKind(text, "dthr"), 10u);
  EXPECT_EQ(countKind(text, "ustdp") + countKind(text, "dstdp"), 0u);
}


// Several stimuli each keep their own clock; a step delivers whichever is
// due next, the one given first among equal times.
TEST(stimulation, stimuli_each_keep_their_own_clock_and_take_turns_by_time) {
  Description d = inputsOnly("exp-seq");
  GroupSpec other = d.groups[0];
  other.name = "side";
  other.size = 3;
  d.groups.push_back(other);
  d.stimuli[0].interval = 0.5;
  StimulusSpec second = d.stimuli[0];
  second.name = "second";
  second.group = "side";
  second.interval = 0.75;
  d.stimuli.push_back(second);
  std::vector<std::string> lines = stimulate(d, 8, 1);
  for (std::string& line : lines) line.erase(line.rfind(' '));  // the events pending
  // Due: 0.5 sorc 0, 0.75 side 0, 1.0 sorc 1, 1.5 sorc 2 and side 1 (sorc
  // first), 2.0 sorc 3, 2.25 side 2, 2.5 sorc 4: each delivered when the
  // step after it runs the engine on.
  const std::vector<std::string> want = {"spk 0.500000 sorc 0 1", "spk 0.750000 side 0 1", "spk 1.000000 sorc 1 1",
                                         "spk 1.500000 sorc 2 1", "spk 1.500000 side 1 1", "spk 2.000000 sorc 3 1",
                                         "spk 2.250000 side 2 1"};
  EXPECT_EQ(lines, want);
}

// A run in pieces is the run in one: the stimuli's clocks, the switch-off
// and the engine carry on where they stopped.
TEST(experiment, a_run_in_pieces_prints_what_one_run_prints) {
  Description d = experiment("exp-xor-shift");
  d.run.rateFactor = 1.5f;
  d.run.switchOffAfter = 1500;
  auto trace = [&](std::vector<long> pieces) {
    std::string text;
    Stream out(&text);
    seedRandom(21, d.run.generator);
    std::unique_ptr<Simulation> sim = makeSimulation(d, out, TraceRouting{}, nullptr);
    RunWatch watch;
    for (long n : pieces) EXPECT_TRUE(sim->run(n, watch));
    sim->report();
    sim.reset();
    out.flush();
    return text;
  };
  const std::string whole = trace({3000});
  EXPECT_GT(countKind(whole, "swon"), 0u);
  EXPECT_EQ(trace({1000, 499, 1, 1, 1499}), whole);
}
