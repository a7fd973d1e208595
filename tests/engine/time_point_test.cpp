#include <gtest/gtest.h>

#include "sandbox.h"

using namespace net1;
using net1::testing::link;
using net1::testing::on;
using net1::testing::Sandbox;

namespace {

// One receiving unit that never fires unless asked to, and two senders.
struct TimePoint : ::testing::Test {
  Sandbox box;
  Group* g = box.group("grp", 3);
  Unit* target = unitById(g, 0);
  Unit* from = unitById(g, 1);
  Unit* other = unitById(g, 2);
  TimePoint() {
    target->threshold = 100;
    target->leak = 1;
    from->excitatory = 1;
    other->excitatory = 1;
  }
};

}  // namespace

TEST_F(TimePoint, empty_queue_just_moves_time) {
  EXPECT_EQ(execNextTimePoint(box.q, 10), 0);
  EXPECT_EQ(runForward(box.q, 2.5), 2.5);
  EXPECT_EQ(runForward(box.q, 0.5), 3.0);
  EXPECT_EQ(box.q->now, 3.0);
}

TEST_F(TimePoint, two_events_for_one_unit_make_one_update_with_their_sum) {
  g->thrUpRate = 1;
  g->thrCeiling = 7;
  target->threshold = 0.5f;
  Synapse* first = link(from, target, 1, 1);
  Synapse* second = link(other, target, 1, 1);
  other->excitatory = 0;
  addEvent(box.q, 1, 0.25f, target, second);  // earlier added: its synapse reaches the update
  addEvent(box.q, 1, 0.5f, target, first);
  runForward(box.q, 2);
  // Input from an inhibitory sender does not adapt the threshold, though the
  // summed input makes the unit fire.
  EXPECT_EQ(target->lastSpike, 1.0);
  EXPECT_EQ(target->threshold, 0.5f);
  // The spike line counts the second event too: pass 2 drops it only afterwards.
  EXPECT_EQ(box.take(), "spk 1.000000 grp 0 0 2\n");
  EXPECT_EQ(box.q->count, 0u);
}

TEST_F(TimePoint, input_to_a_refractory_unit_waits_without_decay) {
  g->refractory = 1;  // never fired: refractory until time 1
  addEvent(box.q, 0.5, 0.75f, target, nullptr);
  runForward(box.q, 0.75);
  EXPECT_EQ(target->input, 0.75f);
  EXPECT_EQ(target->lastUpdate, 0.0);
  EXPECT_EQ(box.q->count, 0u);
  // The refractory period ends exactly at 1: an event then is delivered, and
  // the held input joins it undecayed.
  addEvent(box.q, 0.25, 0.25f, target, nullptr);
  runForward(box.q, 1);
  EXPECT_EQ(target->potential, 1.0f);
  EXPECT_EQ(target->lastUpdate, 1.0);
}

TEST_F(TimePoint, input_summing_to_zero_updates_nothing) {
  addEvent(box.q, 1, 0.5f, target, nullptr);
  addEvent(box.q, 1, -0.5f, target, nullptr);
  target->potential = 0.5f;
  EXPECT_EQ(execNextTimePoint(box.q, 5), 1);  // still a time point
  EXPECT_EQ(box.q->now, 1.0);
  EXPECT_EQ(target->potential, 0.5f);  // no leak applied
  EXPECT_EQ(target->lastUpdate, 0.0);
  EXPECT_EQ(box.q->count, 0u);
}

TEST_F(TimePoint, zero_amount_is_dropped_even_with_input_pending) {
  target->input = 0.5f;
  addEvent(box.q, 1, 0.0f, target, nullptr);
  runForward(box.q, 2);
  EXPECT_EQ(target->input, 0.5f);
  EXPECT_EQ(target->lastUpdate, 0.0);
}

TEST_F(TimePoint, event_at_last_update_leaves_its_amount_pending) {
  addEvent(box.q, 0, 0.5f, target, nullptr);  // time 0 = lastUpdate of a new unit
  runForward(box.q, 1);
  EXPECT_EQ(target->input, 0.5f);
  EXPECT_EQ(target->lastUpdate, 0.0);
}

TEST_F(TimePoint, horizon_is_exclusive) {
  addEvent(box.q, 2, 0.5f, target, nullptr);
  runForward(box.q, 2);
  EXPECT_EQ(box.q->count, 1u);
  EXPECT_EQ(target->lastUpdate, 0.0);
  runForward(box.q, 0.5);
  EXPECT_EQ(box.q->count, 0u);
  EXPECT_EQ(target->lastUpdate, 2.0);
}

TEST_F(TimePoint, spikes_of_an_instant_propagate_after_all_updates) {
  // Both senders fire at 1 and reach the target at 3; the spike lines come
  // first, then the propagation lines in the order the units were updated.
  on(link(from, target, 2, 0.5f));
  on(link(other, target, 2, 0.5f));
  addEvent(box.q, 1, 1.0f, other, nullptr);
  addEvent(box.q, 1, 1.0f, from, nullptr);
  runForward(box.q, 1.5);
  EXPECT_EQ(box.take(),
            "spk 1.000000 grp 2 1 2\n"
            "spk 1.000000 grp 1 1 2\n"
            "nmp 1.000000 grp 2 1 0\n"
            "nmp 1.000000 grp 1 1 0\n");
  EXPECT_EQ(box.q->count, 2u);
  runForward(box.q, 2);
  EXPECT_EQ(target->potential, 1.0f);
}

// A spike through a synapse of delay zero arrives in the instant it was
// sent, in a time point of its own right after the one of the spike: the
// target sums it and may fire in that same instant.
TEST_F(TimePoint, zero_delay_delivers_in_the_same_instant_right_after) {
  on(link(from, target, 0, 1.0f));
  target->threshold = 0.5f;
  addEvent(box.q, 1, 1.0f, from, nullptr);
  EXPECT_EQ(execNextTimePoint(box.q, 5), 1);
  EXPECT_EQ(box.take(), "spk 1.000000 grp 1 1 1\nnmp 1.000000 grp 1 1 0\n");
  EXPECT_EQ(box.q->count, 1u);
  EXPECT_EQ(execNextTimePoint(box.q, 5), 1);
  EXPECT_EQ(box.q->now, 1.0);
  EXPECT_EQ(box.take(), "spk 1.000000 grp 0 0 1\n");
  EXPECT_EQ(target->lastSpike, 1.0);
}

// A unit already updated in an instant keeps what arrives later in the
// same instant pending, for its next update: nothing is lost.
TEST_F(TimePoint, zero_delay_input_to_a_unit_updated_this_instant_waits) {
  on(link(from, target, 0, 0.25f));
  addEvent(box.q, 1, 1.0f, from, nullptr);
  addEvent(box.q, 1, 0.5f, target, nullptr);
  runForward(box.q, 1.5);
  EXPECT_EQ(target->lastUpdate, 1.0);
  EXPECT_EQ(target->input, 0.25f);
  EXPECT_EQ(box.q->count, 0u);
}
