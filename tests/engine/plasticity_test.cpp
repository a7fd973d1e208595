#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "draws.h"
#include "sandbox.h"

using namespace net1;
using net1::testing::link;
using net1::testing::on;
using net1::testing::drawsSince;
using net1::testing::Sandbox;

namespace {

// Seeds the generator so that its next draw is 0 (every draw with p > 0
// true) or 32767 (every draw with p <= 1 false).
constexpr std::uint32_t kDrawZero = 0;
constexpr std::uint32_t kDrawTop = 24884;
void nextDrawSucceeds() { seedRandom(kDrawZero); }
void nextDrawFails() { seedRandom(kDrawTop); }

struct Plasticity : ::testing::Test {
  Sandbox box;
  Group* pg = box.group("pre", 3);
  Group* qg = box.group("post", 3);
  Unit* pre = unitById(pg, 0);
  Unit* post = unitById(qg, 0);
  Plasticity() {
    for (Group* g : {pg, qg}) {
      g->stdpRate = 0.01f;
      g->weightMin = 0.5f;
      g->weightMax = 2.0f;
      g->switching = 1;
      g->switchProb = 0.5f;
    }
    pre->excitatory = 1;
  }
};

}  // namespace

TEST_F(Plasticity, worked_example_on_both_sides_of_a_spike) {
  Synapse* s = on(link(pre, post, 1, 1.0f));
  post->lastSpike = 1.0;
  box.q->now = 2.0;
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(box.take(), "dstdp 2.000000 pre 0 1 post 0 -0.003679 0.996321\nnmp 2.000000 pre 0 1 0\n");
  EXPECT_EQ(box.q->count, 1u);
  EXPECT_EQ(earliestEvent(box.q)->amount, 1.0f);  // the weight before the change
  EXPECT_EQ(earliestEvent(box.q)->time, 3.0);

  s->weight = 1.0f;
  switchSynapse(s, true, 0);  // no switch-off candidate
  pre->lastSpike = 1.5;
  updatePreSynapses(post, box.q);
  EXPECT_EQ(box.take(), "ustdp 2.000000 pre 0 1 post 0 0.006065 1.006065\n");
}

// A spike sends one event per active synapse, in chain order, each with
// its weight from before the spike's STDP change; the changes follow in the
// same order, and the queue counts every event it was given.
TEST_F(Plasticity, a_spike_sends_one_event_per_active_synapse_in_chain_order) {
  Unit* a = unitById(qg, 1);
  Unit* b = unitById(qg, 2);
  on(link(pre, b, 2, 1.5f));
  on(link(pre, a, 1, 1.0f));
  link(pre, post, 0.5, 1.0f);  // switched off: carries nothing
  for (Unit* u : {post, a, b}) u->lastSpike = 1.0;
  box.q->now = 2.0;
  const std::uint64_t added = box.q->added;
  nextDrawFails();  // no switch-on
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(box.take(),
            "dstdp 2.000000 pre 0 1 post 1 -0.003679 0.996321\n"
            "dstdp 2.000000 pre 0 1 post 2 -0.003679 1.496321\n"
            "nmp 2.000000 pre 0 1 0\n");
  EXPECT_EQ(box.q->count, 2u);
  EXPECT_EQ(box.q->added, added + 2);
  const Event* first = earliestEvent(box.q);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->unit, a);
  EXPECT_EQ(first->time, 3.0);
  EXPECT_EQ(first->amount, 1.0f);
  const Event* second = deleteEvent(first, box.q);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->unit, b);
  EXPECT_EQ(second->time, 4.0);
  EXPECT_EQ(second->amount, 1.5f);
}

TEST_F(Plasticity, inhibitory_pre_unit_turns_every_sign) {
  pre->excitatory = 0;
  Synapse* s = on(link(pre, post, 1, 1.0f));
  box.q->now = 2.0;
  post->lastSpike = 2.0;  // the time term is exactly 1
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(earliestEvent(box.q)->amount, -1.0f);
  EXPECT_EQ(s->weight, 1.0f + 0.01f);
  pre->lastSpike = 2.0;
  switchSynapse(s, true, 0);
  updatePreSynapses(post, box.q);
  EXPECT_EQ(s->weight, (1.0f + 0.01f) - 0.01f);
}

TEST_F(Plasticity, weights_clamp_to_the_firing_side_bounds) {
  Synapse* s = link(pre, post, 1, 1.99f);
  switchSynapse(s, true, 0);
  pre->lastSpike = box.q->now = 1.0;
  pg->stdpRate = 0.5f;
  updatePreSynapses(post, box.q);  // amplitude and bounds of the pre side
  EXPECT_EQ(s->weight, 2.0f);
  pg->weightMin = pg->weightMax = 0.75f;
  post->lastSpike = 1.0;
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(s->weight, 0.75f);
  // The post side's rate decides whether the incoming side learns at all.
  qg->stdpRate = 0;
  updatePreSynapses(post, box.q);
  EXPECT_EQ(s->weight, 0.75f);
}

TEST_F(Plasticity, inactive_synapses_keep_their_weight_and_carry_nothing) {
  Synapse* s = link(pre, post, 1, 1.0f);
  post->lastSpike = box.q->now = 1.0;
  pg->switchProb = 0;
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(s->weight, 1.0f);
  EXPECT_EQ(box.q->count, 0u);
}

TEST_F(Plasticity, switch_on_picks_the_longest_waiting_first_in_chain_order) {
  Synapse* later = link(pre, unitById(qg, 1), 2, 1.0f);
  Synapse* tieB = link(pre, unitById(qg, 2), 1, 1.0f);
  Synapse* tieA = link(pre, post, 1, 1.0f);  // equal delay: newer comes first
  switchSynapse(later, false, 0.05);
  switchSynapse(tieA, false, 0.01);
  switchSynapse(tieB, false, 0.01);
  box.q->now = 1.0;
  nextDrawSucceeds();
  EXPECT_EQ(tuneAndPropagate(pre, box.q), 1);
  EXPECT_EQ(tieA->active, 1);
  EXPECT_EQ(tieB->active, 0);
  EXPECT_EQ(tieA->lastSwitch, 1.0);
  EXPECT_EQ(box.take(), "swon 1.000000 pre 0 1 post 0\nnmp 1.000000 pre 0 1 0\n");
  // A synapse switched at this instant has waited 0 and cannot be a candidate.
  switchSynapse(tieB, false, 1.0);
  switchSynapse(later, false, 1.0);
  nextDrawSucceeds();
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(later->active + tieB->active, 0);
}

TEST_F(Plasticity, marked_unit_switches_nothing_on_but_still_draws) {
  Synapse* s = link(pre, post, 1, 1.0f);
  pre->marked = 1;
  pre->markCount = 3;
  box.q->now = 1.0;
  nextDrawSucceeds();
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(s->active, 0);
  EXPECT_EQ(box.take(), "nmp 1.000000 pre 0 1 3\n");
  EXPECT_EQ(pre->marked, 0);
  EXPECT_EQ(pre->markCount, 0);
  EXPECT_EQ(drawsSince(kDrawZero), 1);
}

TEST_F(Plasticity, without_an_outgoing_chain_nothing_happens) {
  Unit* lonely = unitById(pg, 2);
  lonely->marked = 1;
  lonely->markCount = 2;
  seedRandom(5);
  EXPECT_EQ(tuneAndPropagate(lonely, box.q), 0);
  EXPECT_EQ(drawsSince(5), 0);
  EXPECT_EQ(lonely->markCount, 2);
  EXPECT_EQ(box.take(), "");
  EXPECT_EQ(updatePreSynapses(lonely, box.q), 0);
  EXPECT_EQ(updatePreSynapses(nullptr, box.q), 0);
}

TEST_F(Plasticity, switch_off_candidate_is_the_most_recent_and_needs_a_marked_pre_unit) {
  Unit* pre2 = unitById(pg, 1);
  Synapse* old = link(pre, post, 1, 1.0f);
  Synapse* recent = link(pre2, post, 2, 1.0f);
  switchSynapse(old, true, 0.5);
  switchSynapse(recent, true, 0.75);
  qg->stdpRate = 0;
  box.q->now = 3.0;

  // Unmarked pre unit: no draw, no switch, but now it is marked.
  seedRandom(9);
  updatePreSynapses(post, box.q);
  EXPECT_EQ(drawsSince(9), 0);
  EXPECT_EQ(recent->active, 1);
  EXPECT_EQ(pre2->marked, 1);
  EXPECT_EQ(pre2->markCount, 1);
  EXPECT_EQ(pre->marked, 0);

  // Marked, failed draw: still on, marked once more.
  nextDrawFails();
  updatePreSynapses(post, box.q);
  EXPECT_EQ(drawsSince(kDrawTop), 1);
  EXPECT_EQ(recent->active, 1);
  EXPECT_EQ(pre2->markCount, 2);

  // Marked, successful draw: switched off at now.
  nextDrawSucceeds();
  updatePreSynapses(post, box.q);
  EXPECT_EQ(recent->active, 0);
  EXPECT_EQ(recent->lastSwitch, 3.0);
  EXPECT_EQ(pre2->markCount, 3);
  EXPECT_EQ(box.take(), "swoff 3.000000 pre 1 0 post 0\n");

  // A last switch of exactly 0 never makes a candidate; nor does a group without switching.
  switchSynapse(old, true, 0);
  updatePreSynapses(post, box.q);
  EXPECT_EQ(pre->marked, 0);
  switchSynapse(old, true, 1);
  pg->switching = 0;
  updatePreSynapses(post, box.q);
  EXPECT_EQ(pre->marked, 0);
}

TEST_F(Plasticity, switch_off_ties_go_to_the_first_in_chain_order) {
  Unit* pre2 = unitById(pg, 1);
  Synapse* second = link(pre2, post, 2, 1.0f);
  Synapse* first = link(pre, post, 1, 1.0f);
  switchSynapse(first, true, 0.5);
  switchSynapse(second, true, 0.5);
  updatePreSynapses(post, box.q);
  EXPECT_EQ(pre->marked, 1);
  EXPECT_EQ(pre2->marked, 0);
}

#if NET1_EDITION == 2
TEST_F(Plasticity, rate_factor_scales_switching_both_ways) {
  Synapse* s = link(pre, post, 1, 1.0f);
  qg->stdpRate = pg->stdpRate = 0;
  box.q->now = 1.0;
  // Factor 0: never switched on, even by the draw 0 ...
  box.q->rateFactor = 0;
  nextDrawSucceeds();
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(s->active, 0);
  // ... and a marked candidate always goes off (probability +infinity) ...
  switchSynapse(s, true, 0.5);
  pre->marked = 1;
  nextDrawFails();
  updatePreSynapses(post, box.q);
  EXPECT_EQ(s->active, 0);
  // ... unless switchProb is 0 too: then the product is NaN and the draw false.
  switchSynapse(s, true, 1.0);
  qg->switchProb = 0;
  nextDrawSucceeds();
  updatePreSynapses(post, box.q);
  EXPECT_EQ(s->active, 1);
  EXPECT_EQ(drawsSince(kDrawZero), 1);
  // Seed 1 draws 16838 first (0.514): above 0.5 but below 0.5 * 2.
  switchSynapse(s, false, 0.5);
  pre->marked = 0;
  box.q->rateFactor = 1;
  seedRandom(1);
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(s->active, 0);
  box.q->rateFactor = 2;
  seedRandom(1);
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(s->active, 1);
}
#endif

TEST_F(Plasticity, a_synapse_switched_by_hand_between_calls_is_seen_at_once) {
  Synapse* s = link(pre, post, 1, 1.0f);
  // Only the hand switches may change the synapse, whatever the generator holds.
  pg->stdpRate = qg->stdpRate = 0;
  pg->switchProb = qg->switchProb = 0;
  box.q->now = 1.0;
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(box.q->count, 0u);
  switchSynapse(s, true, 0.5);  // as a driver may do between two runs
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(box.q->count, 1u);
  switchSynapse(s, false, 0.75);
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(box.q->count, 1u);
  EXPECT_EQ(s->lastSwitch, 0.75);
  // A copy of a synapse belongs to no chain: switching it changes nothing.
  Synapse copy = *s;
  switchSynapse(&copy, true, 0.5);
  EXPECT_EQ(copy.active, 1);
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(box.q->count, 1u);
  // A synapse added after a walk joins the next one.
  on(link(pre, unitById(qg, 1), 0.5f, 1.0f));
  tuneAndPropagate(pre, box.q);
  EXPECT_EQ(box.q->count, 2u);
}

namespace {

// A chain as the rules define it, kept by the test beside the engine's:
// ascending delay, equal delays newest first.
struct ChainModel {
  std::vector<Synapse*> synapses;  // in the order made
  std::vector<Synapse*> inOrder() const {
    std::vector<Synapse*> order(synapses.rbegin(), synapses.rend());
    std::stable_sort(order.begin(), order.end(), [](const Synapse* a, const Synapse* b) { return a->delay < b->delay; });
    return order;
  }
};

// The switch candidates as the rules define them, read from the records.
Synapse* longestWaitingOff(const ChainModel& out, const Unit* pre, double now) {
  if (!pre->group->switching) return nullptr;
  Synapse* candidate = nullptr;
  double best = 0.0;
  for (Synapse* s : out.inOrder()) {
    if (!s->active && now - s->lastSwitch > best) {
      candidate = s;
      best = now - s->lastSwitch;
    }
  }
  return candidate;
}

Synapse* mostRecentlyOn(const ChainModel& in) {
  Synapse* candidate = nullptr;
  double best = 0.0;
  for (Synapse* s : in.inOrder()) {
    if (s->active && s->pre->group->switching && s->lastSwitch > best) {
      candidate = s;
      best = s->lastSwitch;
    }
  }
  return candidate;
}

}  // namespace

// Synapses switched by hand between walks (as a driver may) must decide
// the next search exactly as the records say, ties included.
TEST_F(Plasticity, switch_searches_follow_synapses_switched_by_hand) {
  Group* fan = box.group("fan", 8);
  fan->switching = 1;
  pg->stdpRate = qg->stdpRate = fan->stdpRate = 0;
  ChainModel out, in;
  std::vector<Synapse*> all;
  for (std::uint32_t i = 0; i < 8; ++i) {
    out.synapses.push_back(link(pre, unitById(fan, i), static_cast<float>(i % 3), 1.0f));
    in.synapses.push_back(link(unitById(fan, i), post, static_cast<float>(i % 2), 1.0f));
  }
  Synapse* both = link(pre, post, 1, 1.0f);
  out.synapses.push_back(both);
  in.synapses.push_back(both);
  all = out.synapses;
  all.insert(all.end(), in.synapses.begin(), in.synapses.end() - 1);
  const double times[] = {0.0, 0.25, 0.5, 1.0, 2.0};
  std::mt19937 random(7);
  box.q->now = 1.0;
  for (int round = 0; round < 300; ++round) {
    for (Synapse* s : all) {
      if (random() % 3 == 0) switchSynapse(s, random() % 2, random() % 3 ? times[random() % 5] : s->lastSwitch);
    }
    pg->switching = random() % 4 != 0;

    Synapse* switchedOn = longestWaitingOff(out, pre, box.q->now);
    pre->marked = 0;
    nextDrawSucceeds();
    tuneAndPropagate(pre, box.q);
    const std::string onLines = box.take();
    if (switchedOn) {
      ASSERT_EQ(switchedOn->active, 1) << "round " << round;
      ASSERT_EQ(switchedOn->lastSwitch, box.q->now);
      ASSERT_NE(onLines.find("swon"), std::string::npos);
    } else {
      ASSERT_EQ(onLines.find("swon"), std::string::npos) << "round " << round;
    }

    Synapse* off = mostRecentlyOn(in);
    pre->marked = 1;
    for (std::uint32_t i = 0; i < 8; ++i) unitById(fan, i)->marked = 1;
    nextDrawSucceeds();
    updatePreSynapses(post, box.q);
    const std::string offLines = box.take();
    if (off) {
      ASSERT_EQ(off->active, 0) << "round " << round;
      ASSERT_EQ(off->lastSwitch, box.q->now);
      ASSERT_NE(offLines.find("swoff"), std::string::npos);
    } else {
      ASSERT_EQ(offLines.find("swoff"), std::string::npos) << "round " << round;
    }
  }
}
