#include <gtest/gtest.h>

#include "net1.h"

using namespace net1;

TEST(generator, repeats_the_portable_sequence_from_seed_one) {
  seedRandom(1);
  const int expected[] = {16838, 5758, 10113, 17515, 31051, 5627, 23010, 7419, 16212, 4086};
  for (int value : expected) EXPECT_EQ(nextRandom(), value);
}

TEST(generator, covers_both_ends_of_its_range) {
  seedRandom(0);
  EXPECT_EQ(nextRandom(), 0);
  seedRandom(24884);
  EXPECT_EQ(nextRandom(), 32767);
}

TEST(draws, rand_float_is_exact_at_the_lower_end_and_reaches_the_upper) {
  seedRandom(0);  // next draw 0
  EXPECT_EQ(randFloat(0.5f, 2.0f), 0.5f);
  seedRandom(24884);  // next draw 32767
  EXPECT_EQ(randFloat(0.5f, 2.0f), 2.0f);
  seedRandom(24884);
  EXPECT_EQ(randFloat(2.0f, 0.5f), 0.5f);  // reversed bounds run the other way
}

TEST(draws, rand_prob_is_strict_against_the_scaled_draw) {
  seedRandom(24884);
  EXPECT_EQ(randProb(1.0f), 0);  // 1 > 32767/32767 is false
  seedRandom(0);
  EXPECT_EQ(randProb(1.0f), 1);
  seedRandom(0);
  EXPECT_EQ(randProb(0.0f), 0);  // 0 > 0 is false
  seedRandom(24884);
  EXPECT_EQ(randProb(1.5f), 1);
}
