#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sandbox.h"

using namespace net1;
using net1::testing::link;
using net1::testing::on;
using net1::testing::Sandbox;

TEST(network, units_get_ids_in_order_and_are_found_by_them) {
  Sandbox box;
  Group* g = box.group("grp", 3);
  EXPECT_EQ(g->units->count, 3u);
  for (std::uint32_t id = 0; id < 3; ++id) {
    ASSERT_NE(unitById(g, id), nullptr);
    EXPECT_EQ(unitById(g, id)->id, static_cast<std::int32_t>(id));
    EXPECT_EQ(unitById(g, id)->group, g);
  }
  EXPECT_EQ(unitById(g, 3), nullptr);
  // A unit keeps its place while others are added.
  Unit* first = unitById(g, 0);
  for (int i = 0; i < 100; ++i) addUnit(g);
  EXPECT_EQ(unitById(g, 0), first);
}

// The outgoing chain is what the synapse report lists, in order.
TEST(network, synapse_chains_sort_by_delay_with_equal_delays_newest_first) {
  Sandbox box;
  Group* g = box.group("grp", 5);
  Unit* pre = unitById(g, 0);
  seedRandom(1);
  link(pre, unitById(g, 1), 2.0f, 1.0f);
  link(pre, unitById(g, 2), 1.0f, 1.0f);
  link(pre, unitById(g, 3), 2.0f, 1.0f);
  link(pre, unitById(g, 4), 3.0f, 1.0f);
  link(pre, unitById(g, 1), std::nanf(""), 1.0f);  // compares with nothing: last
  link(pre, unitById(g, 2), 0.0f, 1.0f);           // the smallest delay first, even when it is added last
  link(pre, unitById(g, 3), 5.0f, 1.0f);           // the largest delay still before the one that is not a number
  box.take();
  printSynapses(&box.stream, g);
  const std::string lines = box.take();
  auto position = [&](const char* target, const char* delay) {
    return lines.find(std::string("grp ") + target + " 0 0 0 1.000000 " + delay);
  };
  EXPECT_LT(position("2", "0.000000"), position("2", "1.000000"));
  EXPECT_LT(position("2", "1.000000"), position("3", "2.000000"));  // 3 came after 1 with the same delay
  EXPECT_LT(position("3", "2.000000"), position("1", "2.000000"));
  EXPECT_LT(position("1", "2.000000"), position("4", "3.000000"));
  EXPECT_LT(position("4", "3.000000"), position("3", "5.000000"));
  EXPECT_LT(position("3", "5.000000"), position("1", "nan"));
  EXPECT_NE(position("1", "nan"), std::string::npos);
}

// A large build appends and sorts once: the chains come out as the sorted
// inserts make them, with the synapses made switched on listed as active.
TEST(network, appended_chains_ordered_once_are_the_inserted_ones) {
  Sandbox inserted, appended;
  Group* a = inserted.group("grp", 5);
  Group* b = appended.group("grp", 5);
  const float delays[] = {2.0f, 1.0f, 2.0f, 3.0f, std::nanf(""), 0.0f, 2.0f};
  seedRandom(3);
  for (int i = 0; i < 7; ++i) link(unitById(a, i % 2), unitById(a, 2 + i % 3), delays[i], 1.0f + i);
  seedRandom(3);
  for (int i = 0; i < 7; ++i) appendSynapse(unitById(b, i % 2), unitById(b, 2 + i % 3), delays[i], 1.0f + i, i % 3 == 0);
  orderChains(b);
  const auto same = [](const std::vector<Synapse*>& chain, const std::vector<Synapse*>& other) {
    ASSERT_EQ(chain.size(), other.size());
    for (std::size_t i = 0; i < chain.size(); ++i) {
      EXPECT_EQ(chain[i]->weight, other[i]->weight);
      EXPECT_EQ(chain[i]->lastSwitch, other[i]->lastSwitch);
    }
  };
  same(unitById(a, 0)->postSynapses->all, unitById(b, 0)->postSynapses->all);
  same(unitById(a, 3)->preSynapses->all, unitById(b, 3)->preSynapses->all);
  std::size_t active = 0;
  for (std::uint32_t id = 0; id < 2; ++id) {
    for (const ActiveOutput& on : unitById(b, id)->postSynapses->active) {
      EXPECT_EQ(on.synapse->active, 1);
      EXPECT_EQ(unitByRef(on.post), on.synapse->post);
      ++active;
    }
  }
  for (std::uint32_t id = 2; id < 5; ++id) {
    for (const ActiveSynapse& on : unitById(b, id)->preSynapses->active) EXPECT_EQ(on.lastSwitch, on.synapse->lastSwitch);
  }
  EXPECT_EQ(active, 3u);  // synapses 0, 3 and 6
}

// The incoming chain is the order in which a firing unit's synapses learn.
TEST(network, incoming_chain_is_in_delay_order_too) {
  Sandbox box;
  Group* g = box.group("grp", 4);
  g->stdpRate = 0.01f;
  g->weightMax = 2.0f;
  Unit* post = unitById(g, 0);
  on(link(unitById(g, 1), post, 2.0f, 1.0f));
  on(link(unitById(g, 2), post, 1.0f, 1.0f));
  on(link(unitById(g, 3), post, 2.0f, 1.0f));
  updatePreSynapses(post, box.q);
  const std::string lines = box.take();
  EXPECT_LT(lines.find("grp 2 0 grp 0"), lines.find("grp 3 0 grp 0"));
  EXPECT_LT(lines.find("grp 3 0 grp 0"), lines.find("grp 1 0 grp 0"));
}

TEST(network, new_synapse_is_off_with_a_small_random_last_switch) {
  Sandbox box;
  Group* g = box.group("grp", 2);
  seedRandom(24884);  // the last-switch draw is 32767
  Synapse* s = link(unitById(g, 0), unitById(g, 1), 1.0f, 1.0f);
  EXPECT_EQ(s->active, 0);
  EXPECT_EQ(s->lastSwitch, static_cast<double>(0.1f));
  EXPECT_EQ(s->pre, unitById(g, 0));
  EXPECT_EQ(s->post, unitById(g, 1));
  EXPECT_EQ(s->delay, 1.0f);
}

TEST(network, self_pair_creates_and_draws_nothing) {
  Sandbox box;
  Group* g = box.group("grp", 1);
  Unit* u = unitById(g, 0);
  seedRandom(7);
#if NET1_EDITION == 2
  EXPECT_EQ(addSynapse(u, u, 1.0f, 1.0f), nullptr);
#else
  addSynapse(u, u, 1.0f, 1.0f);
#endif
  EXPECT_EQ(u->postSynapses, nullptr);
  EXPECT_EQ(u->preSynapses, nullptr);
  const int after = nextRandom();
  seedRandom(7);
  EXPECT_EQ(after, nextRandom());
}

TEST(network, freeing_handles_null_and_empty_groups) {
  EXPECT_EQ(freeGroupUnitsAndPostSynapses(nullptr), 0);
  EXPECT_EQ(freePostSynapses(nullptr), 0);
  EXPECT_EQ(freeGroupUnitsAndPostSynapses(addGroup(nullptr)), 1);
}

TEST(network, null_name_is_empty_and_seventy_characters_fit) {
  Group* unnamed = addGroup(nullptr);
  EXPECT_STREQ(unnamed->name, "");
  freeGroupUnitsAndPostSynapses(unnamed);
  const std::string longest(70, 'n');
  Group* g = addGroup(longest.c_str());
  EXPECT_EQ(std::string(g->name), longest);
  freeGroupUnitsAndPostSynapses(g);
}

TEST(network_death, longer_group_name_is_refused) {
  const std::string name(71, 'n');
  EXPECT_EXIT(addGroup(name.c_str()), ::testing::ExitedWithCode(1), "group name is longer than 70 characters");
}

TEST(network_death, five_thousand_units_fit_and_one_more_is_fatal) {
  EXPECT_EXIT(
      {
        Group* g = addGroup("big");
        for (int i = 0; i < 5000; ++i) addUnit(g);
        if (unitById(g, 4999)->id != 4999) std::exit(3);
        addUnit(g);
      },
      ::testing::ExitedWithCode(1), "added too many units to group");
}

TEST(network_death, a_group_holds_the_units_it_was_made_for) {
  EXPECT_EXIT(
      {
        Group* g = addGroup("small", 3);
        for (int i = 0; i < 3; ++i) addUnit(g);
        addUnit(g);
      },
      ::testing::ExitedWithCode(1), "added too many units to group");
}

// Two units that excite each other, each spike making three events at
// times that never meet: the pending events grow without end, and their
// limit stops the run.
TEST(network_death, pending_events_past_their_limit_are_fatal) {
  EXPECT_EXIT(
      {
        Sandbox box;
        box.q->pendingLimit = 1000;
        Group* g = box.group("boom", 2);
        for (std::uint32_t i = 0; i < 2; ++i) {
          unitById(g, i)->excitatory = 1;
          for (float delay : {0.5f, 0.7071f, 0.8660f}) on(link(unitById(g, i), unitById(g, 1 - i), delay, 1.0f));
        }
        runForward(box.q, 1.0);
        addEvent(box.q, 0.0, 1.0f, unitById(g, 0), nullptr);
        runForward(box.q, 1e6);
      },
      ::testing::ExitedWithCode(1), "more events pending than 1000: the network's activity grows without end");
}

TEST(network_death, missing_records_are_fatal_with_their_messages) {
  EXPECT_EXIT(addUnit(nullptr), ::testing::ExitedWithCode(1), "group is NULL");
  EXPECT_EXIT(addSynapse(nullptr, nullptr, 1.0f, 1.0f), ::testing::ExitedWithCode(1), "preUnit or postUnit == NULL");
}

// A spike that arrived before it was sent would run time backwards.
TEST(network_death, negative_delay_is_refused) {
  Sandbox box;
  Group* g = box.group("grp", 2);
  EXPECT_EXIT(addSynapse(unitById(g, 0), unitById(g, 1), -0.5f, 1.0f), ::testing::ExitedWithCode(1),
              "synapse delay is negative");
  link(unitById(g, 0), unitById(g, 1), -0.0f, 1.0f);  // minus zero is zero
  EXPECT_EQ(unitById(g, 0)->postSynapses->all.size(), 1u);
}

TEST(report, lines_of_a_small_network_byte_for_byte) {
  Sandbox box;
  Group* a = box.group("in", 2);
  Group* b = box.group("out", 1);
  unitById(a, 0)->excitatory = 1;
  unitById(a, 0)->threshold = 1.5f;
  unitById(a, 0)->leak = 0.25f;
  unitById(b, 0)->resetPotential = 0.5f;
  Synapse* s1 = link(unitById(a, 0), unitById(b, 0), 2.0f, 1.25f);
  Synapse* s2 = link(unitById(a, 1), unitById(b, 0), 1.0f, 0.5f);
  Synapse* s3 = link(unitById(a, 0), unitById(a, 1), 0.5f, 2.0f);
  switchSynapse(s1, true, 0.0625);
  switchSynapse(s2, true, 0);
  switchSynapse(s3, false, 0.03125);

  EXPECT_EQ(printUnits(&box.stream, a), 1);
  EXPECT_EQ(printUnits(&box.stream, b), 1);
  EXPECT_EQ(box.take(),
            "unit in 1 0 0.000000 0.000000 0.000000 1 0 0.000000 1 1 0.500000\n"
            "unit in 0 1 1.500000 0.250000 0.000000 0 0 0.000000 2 1 1.250000\n"
            "unit out 0 0 0.000000 0.000000 0.500000 2 2 1.750000 0 0 0.000000\n");
  EXPECT_EQ(printSynapses(&box.stream, a), 1);
  EXPECT_EQ(printSynapses(&box.stream, b), 1);  // sends nothing
  EXPECT_EQ(box.take(),
            "syn in 1 out 0 1 0 0 0.500000 1.000000 0.000000\n"
            "syn in 0 in 1 0 1 0 2.000000 0.500000 0.031250\n"
            "syn in 0 out 0 1 1 0 1.250000 2.000000 0.062500\n");
  EXPECT_EQ(printUnits(nullptr, a), 0);
  EXPECT_EQ(printSynapses(&box.stream, nullptr), 0);
}

// Weights are summed in chain order, in single precision: an order that
// differed would show in the last digits.
TEST(report, weight_sums_follow_chain_order) {
  Sandbox box;
  Group* g = box.group("grp", 4);
  Unit* post = unitById(g, 0);
  on(link(unitById(g, 1), post, 1.0f, 1e8f));
  on(link(unitById(g, 2), post, 2.0f, 1.0f));
  on(link(unitById(g, 3), post, 3.0f, -1e8f));
  printUnits(&box.stream, g);
  const std::string lines = box.take();
  // ((1e8 + 1) - 1e8) in single precision is 0; any other order gives 1.
  EXPECT_NE(lines.find("unit grp 0 0 0.000000 0.000000 0.000000 3 3 0.000000 0 0 0.000000\n"), std::string::npos)
      << lines;
}
