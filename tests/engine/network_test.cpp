#include <gtest/gtest.h>

#include <string>

#include "sandbox.h"

using namespace net1;
using net1::testing::link;
using net1::testing::Sandbox;

TEST(network, unit_chain_is_newest_first_and_ids_count_up) {
  Sandbox box;
  Group* g = box.group("grp", 3);
  EXPECT_EQ(g->units->count, 3u);
  EXPECT_EQ(g->units->head->id, 2);
  EXPECT_EQ(g->units->head->next->id, 1);
  EXPECT_EQ(g->units->head->next->next->id, 0);
  EXPECT_EQ(g->units->tail, g->unitById[0]);
  EXPECT_EQ(g->unitById[1]->group, g);
}

TEST(network, synapse_chains_sort_by_delay_with_equal_delays_newest_first) {
  Sandbox box;
  Group* g = box.group("grp", 5);
  Unit* pre = g->unitById[0];
  Synapse* a = link(pre, g->unitById[1], 2.0f, 1.0f);
  Synapse* b = link(pre, g->unitById[2], 1.0f, 1.0f);
  Synapse* c = link(pre, g->unitById[3], 2.0f, 1.0f);
  Synapse* d = link(pre, g->unitById[4], 3.0f, 1.0f);
  SynapseList* out = pre->postSynapses;
  EXPECT_EQ(out->count, 4u);
  EXPECT_EQ(out->head, b);
  EXPECT_EQ(b->nextOut, c);
  EXPECT_EQ(c->nextOut, a);
  EXPECT_EQ(a->nextOut, d);
  EXPECT_EQ(out->tail, d);

  // Incoming side: an equal delay becomes the new head.
  Unit* post = g->unitById[4];
  Synapse* e = link(g->unitById[1], post, 3.0f, 1.0f);
  EXPECT_EQ(post->preSynapses->head, e);
  EXPECT_EQ(e->nextIn, d);
  EXPECT_EQ(post->preSynapses->tail, d);
}

TEST(network, new_synapse_is_off_with_a_small_random_last_switch) {
  Sandbox box;
  Group* g = box.group("grp", 2);
  seedRandom(24884);  // the last-switch draw is 32767
  Synapse* s = link(g->unitById[0], g->unitById[1], 1.0f, 1.0f);
  EXPECT_EQ(s->active, 0);
  EXPECT_EQ(s->lastSwitch, static_cast<double>(0.1f));
  EXPECT_EQ(s->pre, g->unitById[0]);
  EXPECT_EQ(s->post, g->unitById[1]);
}

TEST(network, self_pair_creates_and_draws_nothing) {
  Sandbox box;
  Group* g = box.group("grp", 1);
  Unit* u = g->unitById[0];
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
  Sandbox box;
  Group* unnamed = addGroup(nullptr);
  EXPECT_STREQ(unnamed->name, "");
  freeGroupUnitsAndPostSynapses(unnamed);
  const std::string longest(70, 'n');
  Group* g = addGroup(longest.c_str());
  EXPECT_EQ(std::string(g->name), longest);
  freeGroupUnitsAndPostSynapses(g);
}

using network_death = ::testing::Test;

TEST(network_death, longer_group_name_is_refused) {
  const std::string name(71, 'n');
  EXPECT_EXIT(addGroup(name.c_str()), ::testing::ExitedWithCode(1), "group name is longer than 70 characters");
}

TEST(network_death, five_thousand_units_fit_and_one_more_is_fatal) {
  EXPECT_EXIT(
      {
        Group* g = addGroup("big");
        for (int i = 0; i < 5000; ++i) addUnit(g);
        if (g->unitById[4999]->id != 4999) std::exit(3);
        addUnit(g);
      },
      ::testing::ExitedWithCode(1), "added too many units to group");
}

TEST(network_death, missing_records_are_fatal_with_their_messages) {
  EXPECT_EXIT(addUnit(nullptr), ::testing::ExitedWithCode(1), "group is NULL");
  EXPECT_EXIT(addSynapse(nullptr, nullptr, 1.0f, 1.0f), ::testing::ExitedWithCode(1), "preUnit or postUnit == NULL");
}

TEST(report, lines_of_a_small_network_byte_for_byte) {
  Sandbox box;
  Group* a = box.group("in", 2);
  Group* b = box.group("out", 1);
  a->unitById[0]->excitatory = 1;
  a->unitById[0]->threshold = 1.5f;
  a->unitById[0]->leak = 0.25f;
  b->unitById[0]->resetPotential = 0.5f;
  seedRandom(0);  // last switch draws 0, then the generator's next values
  Synapse* s1 = link(a->unitById[0], b->unitById[0], 2.0f, 1.25f);
  Synapse* s2 = link(a->unitById[1], b->unitById[0], 1.0f, 0.5f);
  Synapse* s3 = link(a->unitById[0], a->unitById[1], 0.5f, 2.0f);
  s1->active = 1;
  s2->active = 1;
  s1->lastSwitch = 0.0625;
  s2->lastSwitch = 0;
  s3->lastSwitch = 0.03125;

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
