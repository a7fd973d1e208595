#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "description_file.h"
#include "draws.h"
#include "experiments.h"
#include "network_build.h"

using namespace net1;
using namespace net1::drivers;

namespace {

Description experiment(std::string_view name) { return experimentDescription(*findExperiment(name)); }

// The synapses of a built network, by pathway (pre group -> post group).
struct Counts {
  std::map<std::pair<std::string, std::string>, long> pathways;
  long self = 0, active = 0, repeated = 0;
  long total() const {
    long n = 0;
    for (const auto& [_, c] : pathways) n += c;
    return n;
  }
  long of(const char* from, const char* to) const {
    auto it = pathways.find({from, to});
    return it == pathways.end() ? 0 : it->second;
  }
};

Counts count(const std::vector<Group*>& groups) {
  Counts c;
  for (Group* g : groups) {
    for (std::uint32_t id = 0; id < g->units->count; ++id) {
      Unit* u = unitById(g, id);
      if (!u->postSynapses) continue;
      std::set<const Unit*> targets;
      for (Synapse* s : u->postSynapses->all) {
        ++c.pathways[{g->name, s->post->group->name}];
        c.self += s->post == u;
        c.active += s->active;
        c.repeated += !targets.insert(s->post).second;
      }
    }
  }
  return c;
}

// A network built from a seed, and the generator's draws it took.
struct Built {
  std::vector<Group*> groups;
  int draws = 0;
  Built(const Description& d, std::uint32_t seed, int drawLimit = 1000000) {
    seedRandom(seed, d.run.generator);
    groups = drivers::ed1::buildNetwork(d, nullptr);
    if (drawLimit > 0) draws = net1::testing::drawsSince(seed, drawLimit);
  }
  ~Built() { drivers::ed1::freeNetwork(groups); }
};

}  // namespace

// Four draws per drawn unit, one per candidate pair and three per synapse:
// the draws follow from the description alone, whatever the sizes.
TEST(network_build, draws_follow_from_the_description_alone) {
  Description d = experiment("exp-poisson");
  d.groups[0].size = 2;
  d.groups[1].size = 7;
  d.groups[2].size = 3;
  const int candidates = 2 * 7 + 7 * 7 + 7 * 3;
  const long synapses = 2 * 7 + 7 * 6 + 7 * 3;  // no unit connects to itself
  for (float probability : {0.0f, 1.0f}) {
    for (PathwaySpec& p : d.pathways) p.probability = probability;
    Built b(d, 5);
    EXPECT_EQ(b.draws, 4 * (7 + 3) + candidates + (probability > 0 ? 3 * synapses : 0));
    EXPECT_EQ(count(b.groups).total(), probability > 0 ? synapses : 0);
  }
}

TEST(network_build, the_experiments_pathways_near_their_expected_sizes) {
  Built poisson(experiment("exp-poisson"), 1);
  Counts c = count(poisson.groups);
  EXPECT_NEAR(c.of("sorc", "rsvr"), 4000, 250);
  EXPECT_NEAR(c.of("rsvr", "rsvr"), 99900, 1500);
  EXPECT_NEAR(c.of("rsvr", "sink"), 10000, 400);
  EXPECT_EQ(c.pathways.size(), 3u);
  EXPECT_EQ(c.self, 0);
  EXPECT_EQ(c.active, 0);

  // exp-xor-rand: 1.5 synapses per unit into each target group, all on.
  Built sparse(experiment("exp-xor-rand"), 1);
  c = count(sparse.groups);
  EXPECT_NEAR(c.of("sorc", "rsvr"), 60, 30);
  EXPECT_NEAR(c.of("rsvr", "rsvr"), 1500, 150);
  EXPECT_NEAR(c.of("rsvr", "sink"), 1500, 150);
  EXPECT_EQ(c.active, c.total());
  for (std::uint32_t id = 0; id < sparse.groups[1]->units->count; ++id) {
    const Unit* u = unitById(sparse.groups[1], id);
    ASSERT_EQ(u->resetPotential, 1.5f);
    if (!u->postSynapses) continue;
    ASSERT_EQ(u->postSynapses->active.size(), u->postSynapses->all.size());
    for (const Synapse* s : u->postSynapses->all) {
      ASSERT_TRUE(u->excitatory ? s->weight >= 1.0f : s->weight <= 0.5f) << s->weight;
    }
  }
}

TEST(network_build, homogeneous_network_draws_exactly_as_the_others) {
  for (std::uint32_t seed : {1u, 77u}) {
    Built varied(experiment("exp-poisson"), seed);
    Built homog(experiment("exp-homog-av"), seed);
    EXPECT_EQ(homog.draws, varied.draws) << "seed " << seed;
    EXPECT_EQ(count(varied.groups).of("rsvr", "rsvr"), count(homog.groups).of("rsvr", "rsvr"));
    for (Group* g : {homog.groups[1], homog.groups[2]}) {
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

// A shape the nine do not have: input straight to the output and to two
// reservoirs, one of which feeds the other, by the fixed rule. Every count
// follows from the description, and each unit's targets are distinct.
TEST(network_build, a_network_of_a_new_shape_has_the_counts_its_description_predicts) {
  const Description d = parseDescription(R"(
[run]
steps = 0
generator = "lcg15"
[[group]]
name = "in"
size = 30
excitatory = true
[[group]]
name = "a"
size = 400
excitatory = 0.8
threshold = [1.0, 2.0]
[[group]]
name = "b"
size = 300
excitatory = 0.8
[[group]]
name = "out"
size = 50
[[pathway]]
from = "in"
to = "out"
rule = "fixed"
perUnit = 50
excitatoryWeight = [1.0, 1.0]
inhibitoryWeight = [1.0, 1.0]
delayDistribution = "uniform"
delay = [0.5, 1.5]
[[pathway]]
from = "in"
to = "a"
rule = "fixed"
perUnit = 20
excitatoryWeight = [1.0, 1.0]
inhibitoryWeight = [1.0, 1.0]
delayDistribution = "uniform"
delay = [0.5, 1.5]
[[pathway]]
from = "a"
to = "a"
rule = "fixed"
perUnit = 399
excitatoryWeight = [1.0, 1.0]
inhibitoryWeight = [1.0, 1.0]
delayDistribution = "exponential"
delay = [0.01, 0.99]
delayScale = 2.0
startActive = true
[[pathway]]
from = "a"
to = "b"
probability = 0.0
perUnit = 30
excitatoryWeight = [1.0, 1.0]
inhibitoryWeight = [1.0, 1.0]
delayDistribution = "uniform"
delay = [0.5, 1.5]
)",
                                         "new-shape.toml");
  Built b(d, 9);
  const Counts c = count(b.groups);
  EXPECT_EQ(c.of("in", "out"), 30 * 50);  // every output unit, from every input unit
  EXPECT_EQ(c.of("in", "a"), 30 * 20);
  EXPECT_EQ(c.of("a", "a"), 400 * 399);   // every other unit
  EXPECT_NEAR(c.of("a", "b"), 400 * 30, 400);  // pairwise, 30 expected per unit
  EXPECT_EQ(c.of("b", "a") + c.of("out", "in"), 0);
  EXPECT_EQ(c.self, 0);
  EXPECT_EQ(c.repeated, 0);  // fixed targets are distinct
  EXPECT_EQ(c.active, 400 * 399);
  // Draws: three per unit of a (the kind, the threshold), per fixed target
  // one, and three per synapse; pairwise one per candidate pair.
  const long fixedSynapses = 30 * 50 + 30 * 20 + 400 * 399;
  EXPECT_EQ(b.draws, 400 * 2 + 300 + fixedSynapses + 400 * 300 + 3 * (fixedSynapses + c.of("a", "b")));
}

TEST(network_build, a_large_network_by_the_fixed_rule_has_its_predicted_counts) {
  const Description d = parseDescription(R"(
[run]
steps = 0
[[group]]
name = "cortex"
size = 20000
excitatory = 0.8
[[pathway]]
from = "cortex"
to = "cortex"
rule = "fixed"
perUnit = 100
excitatoryWeight = [0.5, 1.5]
inhibitoryWeight = [0.5, 1.5]
delayDistribution = "uniform"
delay = [0.1, 5.0]
)",
                                         "large.toml");
  Built b(d, 3, 0);
  long in = 0, out = 0, repeated = 0, self = 0;
  const Group* g = b.groups[0];
  for (std::uint32_t id = 0; id < g->units->count; ++id) {
    const Unit* u = unitById(g, id);
    ASSERT_NE(u->postSynapses, nullptr);
    ASSERT_EQ(u->postSynapses->all.size(), 100u);
    out += static_cast<long>(u->postSynapses->all.size());
    in += u->preSynapses ? static_cast<long>(u->preSynapses->all.size()) : 0;
    std::set<const Unit*> targets;
    const Synapse* previous = nullptr;
    for (const Synapse* s : u->postSynapses->all) {
      repeated += !targets.insert(s->post).second;
      self += s->post == u;
      if (previous) {
        ASSERT_LE(previous->delay, s->delay);  // in chain order
      }
      previous = s;
    }
  }
  EXPECT_EQ(out, 2000000);
  EXPECT_EQ(in, 2000000);
  EXPECT_EQ(repeated, 0);
  EXPECT_EQ(self, 0);
}
