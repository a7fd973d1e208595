#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "draws.h"
#include "experiment.h"

using namespace net1;
using namespace net1::drivers;
using net1::testing::drawsSince;
using net1::trace::bit;
using net1::trace::Kind;

namespace {

// The input group alone, without synapses: the engine then draws nothing,
// so every draw of a run is the stimulation loop's own.
struct InputsOnly {
  Network n;
  EventQueue* q = allocRecord<EventQueue>();
  std::string text;
  Stream out{&text};

  explicit InputsOnly(const ProgramSettings& p) {
    n.sorc = addGroup("sorc");
    n.rsvr = addGroup("rsvr");
    n.sink = addGroup("sink");
    for (int i = 0; i < 40; ++i) {
      Unit* u = addUnit(n.sorc);
      u->excitatory = 1;
      u->threshold = p.input.threshold;
      u->leak = p.input.leak;
    }
    q->spikeLog = q->switchLog = &out;
  }
  ~InputsOnly() {
    freeNetwork(n);
    freeQueue(q);
  }
  std::vector<std::string> run(ProgramSettings p, long steps) {
    p.steps = steps;
    RunWatch watch;
    EXPECT_TRUE(stimulate(p, n, q, out, watch));
    EXPECT_EQ(watch.stepsDone, steps);
    out.flush();
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

std::string spk(double t, int unit) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "spk %f sorc %d 1 1", t, unit);
  return buf;
}


// A whole run (build, stimulation, report) into memory.
std::string runText(const ProgramSettings& p, const Options& options, std::uint32_t seed) {
  std::string text;
  Stream out(&text);
  seedRandom(seed);
  RunWatch watch;
  EXPECT_TRUE(runExperiment(p, options, out, watch));
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

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

#if NET1_EDITION == 1

TEST(stimulation, every_stimulus_fires_its_drawn_input_unit_at_its_time) {
  for (const char* name : {"exp-poisson", "exp-poisson-av", "exp-homog"}) {
    const ProgramSettings& p = *findProgram(name);
    InputsOnly net(p);
    seedRandom(99);
    const auto lines = net.run(p, 300);
    // Replay the loop's draws: the interval, then the unit.
    seedRandom(99);
    double t = 0;
    ASSERT_EQ(lines.size(), 299u) << name;  // the last stimulus is never delivered
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const float u = randFloat(0.000001f, 0.999999f);
      t = -std::log(static_cast<double>(u)) * p.interval + t;
      const int k = static_cast<int>(static_cast<std::uint32_t>(nextRandom()) % 40u);
      ASSERT_EQ(lines[i], spk(t, k)) << name << " stimulus " << i;
    }
  }
}

TEST(stimulation, sequence_runs_the_inputs_in_turn_and_switches_off_at_35000) {
  const ProgramSettings& p = *findProgram("exp-seq");
  InputsOnly net(p);
  seedRandom(5);
  const auto lines = net.run(p, 700001);
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
  for (Group* g : {net.n.sorc, net.n.rsvr, net.n.sink}) EXPECT_EQ(g->switchProb, 0.0f);
}

TEST(stimulation, homog_av_writes_the_bare_switch_off_line) {
  ProgramSettings p = *findProgram("exp-homog-av");
  p.switchOffAfter = 5;
  InputsOnly net(p);
  const auto lines = net.run(p, 10);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[4], "swofftime");
  EXPECT_EQ(lines[5].rfind("spk ", 0), 0u);
}

TEST(experiment, no_switching_after_the_switch_off_line_and_a_full_report) {
  ProgramSettings p = *findProgram("exp-poisson");
  p.switchOffAfter = 2000;
  p.steps = 4000;
  const auto lines = linesOf(runText(p, Options{}, 1));
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
  ProgramSettings p = *findProgram("exp-poisson");
  p.steps = 3000;
  for (GroupSettings* g : {&p.sorc, &p.rsvr, &p.sink}) g->switchProb = 0;
  const std::string text = runText(p, Options{}, 4);
  EXPECT_EQ(countKind(text, "swon"), 0u);
  EXPECT_EQ(countKind(text, "swoff"), 0u);
  EXPECT_GT(countKind(text, "spk"), 2900u);
}

TEST(experiment, group_sizes_give_that_many_units_in_the_report) {
  ProgramSettings p = *findProgram("exp-seq");
  p.steps = 500;
  p.sorc.size = 5;
  p.rsvr.size = 50;
  p.sink.size = 7;
  std::size_t units[3] = {};
  for (const auto& line : linesOf(runText(p, Options{}, 2))) {
    for (int g = 0; g < 3; ++g) units[g] += line.rfind(std::string("unit ") + (g == 0 ? "sorc" : g == 1 ? "rsvr" : "sink"), 0) == 0;
  }
  EXPECT_EQ(units[0], 5u);
  EXPECT_EQ(units[1], 50u);
  EXPECT_EQ(units[2], 7u);
}

TEST(experiment, threshold_adaptation_writes_uthr_lines_and_changes_nothing_else_when_traced) {
  ProgramSettings p = *findProgram("exp-poisson");
  p.steps = 4000;
  p.rsvr.thrUpRate = 0.1f;
  p.sink.thrUpRate = 0.1f;
  Options traced;
  traced.tracePlasticity = true;
  const std::string with = runText(p, traced, 3);
  const std::string without = runText(p, Options{}, 3);
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
  ProgramSettings p = *findProgram("exp-stdp");
  p.steps = 3000;
  Options all;
  all.tracePlasticity = true;
  Options some = all;
  some.record = bit(Kind::spk) | bit(Kind::dstdp) | bit(Kind::swoff) | bit(Kind::syn);
  const std::string whole = runText(p, all, 9);
  std::string filtered;
  for (const auto& line : linesOf(whole)) {
    const std::string keyword = line.substr(0, line.find(' '));
    if (keyword == "spk" || keyword == "dstdp" || keyword == "swoff" || keyword == "syn") filtered += line + "\n";
  }
  EXPECT_GT(countKind(whole, "dstdp"), 0u);
  EXPECT_EQ(runText(p, some, 9), filtered);
}

TEST(experiment, a_stop_request_ends_the_run_before_its_report) {
  ProgramSettings p = *findProgram("exp-poisson");
  p.steps = 100;
  std::string text;
  Stream out(&text);
  volatile std::sig_atomic_t stop = 15;
  RunWatch watch;
  watch.stop = &stop;
  EXPECT_FALSE(runExperiment(p, Options{}, out, watch));
  out.flush();
  EXPECT_EQ(watch.stepsDone, 0);
  EXPECT_EQ(countKind(text, "unit"), 0u);
}

#else

TEST(stimulation, first_xor_window_holds_19_stimuli_and_then_draws_a_pattern) {
  const ProgramSettings& p = *findProgram("exp-xor-shift");
  {
    InputsOnly net(p);
    seedRandom(3);
    const auto lines = net.run(p, 19);
    EXPECT_EQ(drawsSince(3), 0);
    ASSERT_EQ(lines.size(), 18u);
  }
  InputsOnly net(p);
  seedRandom(3);
  const auto lines = net.run(p, 21);
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
  ProgramSettings p = *findProgram("exp-xor-shift");
  p.switchOffAfter = 30;
  InputsOnly net(p);
  const auto lines = net.run(p, 40);
  ASSERT_EQ(lines.size(), 40u);
  EXPECT_EQ(lines[29], "swofftime");
  EXPECT_EQ(lines[30].rfind("spk ", 0), 0u);
}

TEST(experiment, xor_rand_runs_a_fixed_network_whatever_the_factor) {
  const ProgramSettings& p = *findProgram("exp-xor-rand");
  std::string first, second;
  for (float factor : {0.0f, 7.5f}) {
    ProgramSettings q = p;
    q.steps = 300;
    q.rateFactor = factor;
    (factor == 0 ? first : second) = runText(q, Options{}, 11);
  }
  ProgramSettings none = p;
  none.steps = 300;
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
  ProgramSettings p = *findProgram("exp-xor-shift");
  p.steps = 4000;
  p.rateFactor = 1.0f;
  p.rsvr.thrUpRate = 0.05f;
  Options traced;
  traced.tracePlasticity = true;
  const std::string text = runText(p, traced, 5);
  EXPECT_GT(countKind(text, "dthr"), 10u);
  EXPECT_EQ(countKind(text, "ustdp") + countKind(text, "dstdp"), 0u);
}

#endif
