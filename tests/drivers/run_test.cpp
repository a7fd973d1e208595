#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "draws.h"
#include "experiment.h"

using namespace net1;
using namespace net1::drivers;
using net1::testing::drawsSince;

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
      u->threshold = p.sorcThreshold;
      u->leak = p.sorcLeak;
    }
    q->spikeLog = q->switchLog = &out;
  }
  ~InputsOnly() {
    freeNetwork(n);
    freeQueue(q);
  }
  std::vector<std::string> run(const ProgramSettings& p, long steps) {
    EXPECT_TRUE(stimulate(p, n, q, steps, out, nullptr));
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
      t = -std::log(static_cast<double>(u)) * p.intervalScale + t;
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
  Options options;
  options.steps = 4000;
  std::string text;
  {
    Stream out(&text);
    seedRandom(1);
    ASSERT_TRUE(runExperiment(p, options, out, nullptr));
  }
  const auto lines = linesOf(text);
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
    Options options;
    options.steps = 300;
    options.rateFactor = factor;
    std::string& text = factor == 0 ? first : second;
    Stream out(&text);
    seedRandom(11);
    ASSERT_TRUE(runExperiment(p, options, out, nullptr));
  }
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

#endif
