#include <gtest/gtest.h>

#include <string>

#include "settings.h"

using namespace net1::drivers;

namespace {

// The experiments' own tables, written out once more by hand: a constant
// that drifts in the settings shows up here.
struct Row {
  const char* name;
  float switchProb, stdpRate, thrCeiling, weightMin, weightMax, sorcLeak;
  Range threshold, reset, leak, weight;
  bool uniformDelay;
  double intervalScale;  // the mean interval, or the fixed one
  float amount;
  long steps, switchOffAfter;
  bool bare;
  Stimulus stimulus;
};

const Row kRows[] = {
    {"exp-poisson", 0.05f, 0, 2, 0.5f, 2, 1, {1, 2}, {0.5f, 1}, {0.1f, 1}, {0.5f, 2}, false, 0.05, 2, 1100000, 700000, false, Stimulus::RandomUnit},
    {"exp-poisson-av", 0.1f, 0, 2, 0.5f, 2, 1, {1, 2}, {0.5f, 1}, {0.1f, 1}, {0.5f, 2}, false, 1.0, 2, 1600000, 800000, false, Stimulus::RandomUnit},
    {"exp-stdp", 0.05f, 0.01f, 2, 0.5f, 2, 1, {1, 2}, {0.5f, 1}, {0.1f, 1}, {0.5f, 2}, false, 0.05, 2, 1100000, 700000, false, Stimulus::RandomUnit},
    {"exp-stdp-av", 0.1f, 0.01f, 2, 0.5f, 2, 1, {1, 2}, {0.5f, 1}, {0.1f, 1}, {0.5f, 2}, false, 1.0, 2, 1600000, 800000, false, Stimulus::RandomUnit},
    {"exp-seq", 0.05f, 0, 2, 0.5f, 2, 1, {1, 2}, {0.5f, 1}, {0.1f, 1}, {0.5f, 2}, false, 0.05, 2, 1100000, 700000, false, Stimulus::Cyclic},
    {"exp-homog", 0.05f, 0, 1, 0.75f, 0.75f, 0.1f, {1, 1}, {0.5f, 0.5f}, {0.1f, 0.1f}, {0.75f, 0.75f}, true, 0.05, 1, 1100000, 700000, false, Stimulus::RandomUnit},
    {"exp-homog-av", 0.1f, 0, 1, 0.75f, 0.75f, 0.1f, {1, 1}, {0.5f, 0.5f}, {0.1f, 0.1f}, {0.75f, 0.75f}, true, 1.0, 1, 1600000, 800000, true, Stimulus::RandomUnit},
};

void expectRange(Range got, Range want, const std::string& what) {
  EXPECT_EQ(got.lo, want.lo) << what;
  EXPECT_EQ(got.hi, want.hi) << what;
}

}  // namespace

TEST(settings, each_edition_one_program_matches_its_row) {
  for (const Row& row : kRows) {
    const ProgramSettings* p = findProgram(row.name);
    ASSERT_NE(p, nullptr) << row.name;
    SCOPED_TRACE(row.name);
    EXPECT_EQ(p->edition, 1);
    for (const GroupSettings* g : {&p->sorc, &p->rsvr, &p->sink}) {
      EXPECT_EQ(g->switchProb, row.switchProb);
      EXPECT_EQ(g->stdpRate, row.stdpRate);
      EXPECT_EQ(g->thrUpRate, 0.0f);
      EXPECT_EQ(g->nextVoltTime, 0.0);
      EXPECT_TRUE(g->switching);
      EXPECT_EQ(g->thrCeiling, row.thrCeiling);
      EXPECT_EQ(g->weightMin, row.weightMin);
      EXPECT_EQ(g->weightMax, row.weightMax);
      EXPECT_EQ(g->thrFloor, 1.0f);
      EXPECT_EQ(g->voltPeriod, 0.0);
      EXPECT_EQ(g->thrDownScale, 0.0f);
    }
    EXPECT_EQ(p->sorc.refractory, 0.0f);
    EXPECT_EQ(p->rsvr.refractory, 1.0f);
    EXPECT_EQ(p->sink.refractory, 1.0f);
    EXPECT_EQ(p->sorc.size, 40);
    EXPECT_EQ(p->rsvr.size, 1000);
    EXPECT_EQ(p->sink.size, 100);
    EXPECT_EQ(p->input.threshold, 1.0f);
    EXPECT_EQ(p->input.leak, row.sorcLeak);
    EXPECT_EQ(p->input.resetPotential, 0.0f);
    EXPECT_EQ(p->excitatoryProb, 0.75f);
    expectRange(p->threshold, row.threshold, "threshold");
    expectRange(p->resetPotential, row.reset, "reset");
    expectRange(p->leak, row.leak, "leak");
    expectRange(p->excitatoryWeight, row.weight, "weight");
    expectRange(p->inhibitoryWeight, row.weight, "weight");
    EXPECT_EQ(p->delayDraw, row.uniformDelay ? DelayDraw::Uniform : DelayDraw::Exponential);
    expectRange(p->delay, row.uniformDelay ? Range{0.5f, 1.0f} : Range{0.000001f, 0.999999f}, "delay");
    EXPECT_EQ(p->delayScale, 3.0);
    EXPECT_EQ(p->connectionProb, 0.1f);
    EXPECT_EQ(p->connectionsPerUnit, 0.0);
    EXPECT_FALSE(p->startActive);
    EXPECT_EQ(p->stimulus, row.stimulus);
    EXPECT_EQ(p->interval, row.intervalScale);
    EXPECT_EQ(p->amount, row.amount);
    EXPECT_EQ(p->steps, row.steps);
    EXPECT_EQ(p->switchOffAfter, row.switchOffAfter);
    EXPECT_EQ(p->switchOffLineTime, !row.bare);
    EXPECT_FALSE(p->rateFactor.has_value());
  }
}

TEST(settings, the_xor_programs_share_groups_and_differ_in_their_table) {
  const ProgramSettings* r = findProgram("exp-xor-rand");
  const ProgramSettings* s = findProgram("exp-xor-shift");
  ASSERT_TRUE(r && s);
  for (const ProgramSettings* p : {r, s}) {
    EXPECT_EQ(p->edition, 2);
    EXPECT_EQ(p->stimulus, Stimulus::XorPatterns);
    EXPECT_EQ(p->interval, 0.05);
    EXPECT_EQ(p->window, 1.0);
    EXPECT_EQ(p->input.threshold, 1.5f);
    EXPECT_EQ(p->input.leak, 0.5f);
    expectRange(p->threshold, {1.5f, 2.0f}, "threshold");
    expectRange(p->resetPotential, {1.5f, 1.5f}, "reset");
    expectRange(p->leak, {0.1f, 0.5f}, "leak");
    expectRange(p->inhibitoryWeight, {0.0f, 0.5f}, "inhibitory weight");
    EXPECT_EQ(p->sorc.thrDownScale, 0.0f);
    EXPECT_EQ(p->rsvr.thrDownScale, 1.0f);
    EXPECT_EQ(p->sink.voltPeriod, 1.0);
    EXPECT_EQ(p->rsvr.voltPeriod, 0.0);
    for (const GroupSettings* g : {&p->sorc, &p->rsvr, &p->sink}) {
      EXPECT_EQ(g->stdpRate, 0.0f);
      EXPECT_EQ(g->switchProb, p == r ? 0.0f : 0.05f);
      EXPECT_EQ(g->thrFloor, 1.5f);
      EXPECT_EQ(g->thrCeiling, 2.0f);
      EXPECT_EQ(g->weightMin, 1.5f);
      EXPECT_EQ(g->weightMax, 2.0f);
    }
    EXPECT_FALSE(p->switchOffLineTime);
  }
  EXPECT_EQ(r->connectionsPerUnit, 1.5);
  expectRange(r->excitatoryWeight, {1.0f, 2.0f}, "rand weight");
  EXPECT_TRUE(r->startActive);
  EXPECT_EQ(r->steps, 250000);
  EXPECT_EQ(r->switchOffAfter, 0);
  EXPECT_EQ(s->connectionsPerUnit, 0.0);
  EXPECT_EQ(s->connectionProb, 0.1f);
  expectRange(s->excitatoryWeight, {1.5f, 2.0f}, "shift weight");
  EXPECT_FALSE(s->startActive);
  EXPECT_EQ(s->steps, 500000);
  EXPECT_EQ(s->switchOffAfter, 200000);
  EXPECT_EQ(programsEnd() - programsBegin(), 9);
}

TEST(settings, the_factor_matters_only_where_something_switches) {
  ProgramSettings p = *findProgram("exp-xor-rand");
  EXPECT_FALSE(factorCanMatter(p));
  p.sink.switchProb = 0.01f;
  EXPECT_TRUE(factorCanMatter(p));
  for (GroupSettings* g : {&p.sorc, &p.rsvr, &p.sink}) g->switching = false;
  EXPECT_FALSE(factorCanMatter(p));
  EXPECT_TRUE(factorCanMatter(*findProgram("exp-xor-shift")));
}
