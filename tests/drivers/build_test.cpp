#include <gtest/gtest.h>

#include "draws.h"
#include "experiment.h"

using namespace net1;
using namespace net1::drivers;

namespace {

struct Pathways {
  long sorcToRsvr = 0, rsvrToRsvr = 0, rsvrToSink = 0, selfSynapses = 0, active = 0;
};

Pathways count(const Network& n) {
  Pathways c;
  for (Group* g : {n.sorc, n.rsvr}) {
    for (std::uint32_t id = 0; id < g->units->count; ++id) {
      Unit* u = unitById(g, id);
      if (!u->postSynapses) continue;
      for (Synapse* s : u->postSynapses->all) {
        if (s->post->group == n.sink) {
          ++c.rsvrToSink;
        } else if (g == n.sorc) {
          ++c.sorcToRsvr;
        } else {
          ++c.rsvrToRsvr;
        }
        c.selfSynapses += s->post == u;
        c.active += s->active;
      }
    }
  }
  return c;
}

struct Built {
  Network n;
  int nextDraw;
  Built(const char* program, std::uint32_t seed) {
    seedRandom(seed);
    n = buildNetwork(*findProgram(program));
    nextDraw = nextRandom();
  }
  ~Built() { freeNetwork(n); }
};

}  // namespace

// Four draws per drawn unit, one per candidate pair and three per synapse:
// the draws follow from the settings alone, whatever the sizes.
TEST(network_build, draws_follow_from_the_settings_alone) {
  ProgramSettings p = *findProgram(NET1_EDITION == 1 ? "exp-poisson" : "exp-xor-shift");
  p.sorc.size = 2;
  p.rsvr.size = 7;
  p.sink.size = 3;
  const int candidates = 2 * 7 + 7 * 7 + 7 * 3;
  const int synapses = 2 * 7 + 7 * 6 + 7 * 3;  // no unit connects to itself
  for (float probability : {0.0f, 1.0f}) {
    p.connectionProb = probability;
    seedRandom(5);
    Network n = buildNetwork(p);
    EXPECT_EQ(net1::testing::drawsSince(5), 4 * (7 + 3) + candidates + (probability > 0 ? 3 * synapses : 0));
    const Pathways c = count(n);
    EXPECT_EQ(c.sorcToRsvr + c.rsvrToRsvr + c.rsvrToSink, probability > 0 ? synapses : 0);
    EXPECT_EQ(n.sorc->units->count, 2u);
    EXPECT_EQ(n.rsvr->units->count, 7u);
    EXPECT_EQ(n.sink->units->count, 3u);
    freeNetwork(n);
  }
}

#if NET1_EDITION == 1

TEST(network_build, three_pathways_near_their_expected_sizes) {
  Built b("exp-poisson", 1);
  const Pathways c = count(b.n);
  EXPECT_NEAR(c.sorcToRsvr, 4000, 250);
  EXPECT_NEAR(c.rsvrToRsvr, 99900, 1500);
  EXPECT_NEAR(c.rsvrToSink, 10000, 400);
  EXPECT_EQ(c.selfSynapses, 0);
  EXPECT_EQ(c.active, 0);
  EXPECT_EQ(b.n.sorc->units->count, 40u);
  EXPECT_EQ(b.n.rsvr->units->count, 1000u);
  EXPECT_EQ(b.n.sink->units->count, 100u);
  EXPECT_EQ(unitById(b.n.sink, 99)->postSynapses, nullptr);
}

TEST(network_build, homogeneous_network_draws_exactly_as_the_others) {
  for (std::uint32_t seed : {1u, 77u}) {
    Built varied("exp-poisson", seed);
    Built homog("exp-homog-av", seed);
    EXPECT_EQ(homog.nextDraw, varied.nextDraw) << "seed " << seed;
    const Pathways a = count(varied.n), b = count(homog.n);
    EXPECT_EQ(a.rsvrToRsvr, b.rsvrToRsvr);
    for (Group* g : {homog.n.rsvr, homog.n.sink}) {
      for (std::uint32_t id = 0; id < g->units->count; ++id) {
        Unit* u = unitById(g, id);
        ASSERT_EQ(u->threshold, 1.0f);
        ASSERT_EQ(u->resetPotential, 0.5f);
        ASSERT_EQ(u->leak, 0.1f);
        if (!u->postSynapses) continue;
        for (Synapse* s : u->postSynapses->all) {
          ASSERT_EQ(s->weight, 0.75f);
          ASSERT_TRUE(s->delay >= 0.5f && s->delay <= 1.0f);
        }
      }
    }
  }
}

TEST(network_build, same_seed_same_network) {
  Built a("exp-stdp", 42), b("exp-stdp", 42);
  EXPECT_EQ(a.nextDraw, b.nextDraw);
  const std::vector<Synapse*>& x = unitById(a.n.rsvr, 500)->postSynapses->all;
  const std::vector<Synapse*>& y = unitById(b.n.rsvr, 500)->postSynapses->all;
  ASSERT_EQ(x.size(), y.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    ASSERT_EQ(x[i]->weight, y[i]->weight);
    ASSERT_EQ(x[i]->delay, y[i]->delay);
    ASSERT_EQ(x[i]->lastSwitch, y[i]->lastSwitch);
    ASSERT_EQ(x[i]->post->id, y[i]->post->id);
  }
}

#else

TEST(network_build, xor_rand_is_sparse_and_switched_on) {
  Built b("exp-xor-rand", 1);
  const Pathways c = count(b.n);
  EXPECT_NEAR(c.sorcToRsvr, 60, 30);
  EXPECT_NEAR(c.rsvrToRsvr, 1500, 150);
  EXPECT_NEAR(c.rsvrToSink, 1500, 150);
  EXPECT_EQ(c.active, c.sorcToRsvr + c.rsvrToRsvr + c.rsvrToSink);
  EXPECT_EQ(c.selfSynapses, 0);
  for (std::uint32_t id = 0; id < b.n.rsvr->units->count; ++id) {
    Unit* u = unitById(b.n.rsvr, id);
    ASSERT_EQ(u->resetPotential, 1.5f);
    if (!u->postSynapses) continue;
    for (Synapse* s : u->postSynapses->all) {
      ASSERT_TRUE(u->excitatory ? s->weight >= 1.0f : s->weight <= 0.5f) << s->weight;
    }
  }
}

TEST(network_build, xor_shift_starts_switched_off) {
  Built b("exp-xor-shift", 1);
  const Pathways c = count(b.n);
  EXPECT_NEAR(c.rsvrToRsvr, 99900, 1500);
  EXPECT_EQ(c.active, 0);
}

#endif
