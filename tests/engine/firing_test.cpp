#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "decay.h"
#include "sandbox.h"

using namespace net1;
using net1::testing::link;
using net1::testing::Sandbox;

namespace {

struct Firing : ::testing::Test {
  Sandbox box;
  Group* g = box.group("grp", 2);
  Unit* u = unitById(g, 0);
  Unit* sender = unitById(g, 1);

  // Delivers `amount` to u at time t through `s` (or as a stimulus).
  int deliver(double t, float amount, Synapse* s = nullptr) {
    Event e;
    e.unit = u;
    e.excitatorySynapse = s && s->pre->excitatory;
    e.amount = amount;
    e.time = t;
    box.q->now = t;
    u->input += amount;
    return updateAndFireUnit(&e, box.q);
  }
};

}  // namespace

TEST_F(Firing, potential_equal_to_threshold_fires_and_resets) {
  u->threshold = 1.0f;
  u->resetPotential = 0.25f;
  EXPECT_EQ(deliver(1, 1.0f), 1);
  EXPECT_EQ(u->potential, 0.25f);
  EXPECT_EQ(u->lastSpike, 1.0);
  EXPECT_EQ(u->input, 0.0f);
  EXPECT_EQ(box.take(), "spk 1.000000 grp 0 0 0\n");
}

TEST_F(Firing, leak_decays_in_closed_form_and_the_potential_never_goes_below_zero) {
  u->threshold = 10;
  u->leak = 0.5f;
  EXPECT_EQ(deliver(1, 2.0f), 0);
  EXPECT_EQ(deliver(3, 0.0f), 0);
  EXPECT_EQ(u->potential, static_cast<float>(std::exp(-2.0 * 0.5) * 2.0));
  EXPECT_EQ(deliver(4, -5.0f), 0);
  EXPECT_EQ(u->potential, 0.0f);
  u->leak = 0;
  deliver(5, 1.5f);
  deliver(50, 0.0f);
  EXPECT_EQ(u->potential, 1.5f);
}

TEST_F(Firing, a_unit_at_rest_takes_its_input_exactly_unless_its_leak_factor_overflows) {
  u->threshold = 10;
  u->leak = 0.5f;
  EXPECT_EQ(deliver(2, 0.75f), 0);  // from rest: the input itself
  EXPECT_EQ(u->potential, 0.75f);
  u->potential = -0.0f;  // a zero keeps its sign through the decay
  u->input = -0.0f;
  EXPECT_EQ(deliver(3, -0.0f), 0);
  EXPECT_TRUE(std::signbit(u->potential));
  // A negative leak over a long gap makes the factor infinite, and infinity
  // times zero is not a number: even a unit at rest is poisoned, as it
  // always was.
  u->potential = 0;
  u->leak = -1;
  EXPECT_EQ(deliver(1000, 0.5f), 0);
  EXPECT_TRUE(std::isnan(u->potential));
}

TEST_F(Firing, threshold_rises_only_through_a_synapse_from_an_excitatory_unit) {
  g->thrUpRate = 0.5f;
  g->thrCeiling = 3.0f;
  u->threshold = 1.0f;
  Synapse* s = link(sender, u, 1, 1);
  deliver(1, 1.0f);  // a stimulus
  EXPECT_EQ(u->threshold, 1.0f);
  deliver(2, 1.0f, s);  // from an inhibitory unit
  EXPECT_EQ(u->threshold, 1.0f);
  sender->excitatory = 1;
  box.take();
  deliver(3, 1.0f, s);
  EXPECT_EQ(u->threshold, 2.0f);
  EXPECT_EQ(box.take(), "uthr 3.000000 grp 0 0 0.500000 2.000000\nspk 3.000000 grp 0 0 0\n");
  // A threshold not reached leaves it alone in edition 1 and lowers it in 2.
  g->thrFloor = 1.0f;
  g->thrDownScale = 0.5f;
  deliver(4, 0.5f, s);
#if NET1_EDITION == 2
  EXPECT_EQ(u->threshold, 1.75f);
  EXPECT_EQ(box.take(), "dthr 4.000000 grp 0 0 0.250000 1.750000\n");
#else
  EXPECT_EQ(u->threshold, 2.0f);
  EXPECT_EQ(box.take(), "");
#endif
}

TEST_F(Firing, voltage_windows_close_lazily_with_one_line) {
  g->voltPeriod = 1.0;
  u->threshold = 10;
  deliver(0.5, 1.0f);  // the first update after the window ending at 0
  EXPECT_EQ(box.take(), "volt grp 0.000000 0.000000 0.000000\n");
  EXPECT_EQ(g->nextVoltTime, 1.0);
  deliver(1.0, 0.5f);  // at the window's end: still inside it
  EXPECT_EQ(box.take(), "");
  deliver(4.5, 0.25f);  // three windows later: one line for the one that was open
  EXPECT_EQ(box.take(), "volt grp 1.000000 1.500000 1.500000\n");
  EXPECT_EQ(g->nextVoltTime, 5.0);
  EXPECT_EQ(g->voltInputSum, 0.25f);
  // A spike counts the reset in the change: from 1.75 back to 0.
  u->threshold = 1.0f;
  deliver(4.75, 1.0f);
  EXPECT_EQ(g->voltChangeSum, 0.25f + (0.0f - 1.75f));
}

// The shortcut for arguments far below any representable result, and the
// library's exp reached without its errno wrapper, give exactly what exp
// gives: on both sides of where its results reach zero and infinity.
TEST(decay, factor_is_exp_bit_for_bit) {
  auto same = [](double x) {
    const double a = decayFactor(x);
    const double b = std::exp(x);
    return std::memcmp(&a, &b, sizeof a) == 0;
  };
  for (double x = -760.0; x < -700.0; x += 0.0625) ASSERT_TRUE(same(x)) << x;
  for (double x : {-746.0, std::nextafter(-746.0, 0.0), std::nextafter(-746.0, -1000.0), -745.1332191019412,
                   -744.44, -1e308, -HUGE_VAL, 0.0, -0.0, 1.0, 709.0, 709.78, 710.0, 1e308, HUGE_VAL}) {
    ASSERT_TRUE(same(x)) << x;
  }
  ASSERT_TRUE(std::isnan(decayFactor(std::nan(""))));
  std::mt19937_64 rng(11);
  for (int i = 0; i < 100000; ++i) {
    const double x = std::uniform_real_distribution<double>(-800.0, 720.0)(rng);
    ASSERT_TRUE(same(x)) << x;
  }
}
