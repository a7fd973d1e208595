#include <gtest/gtest.h>

#include "random_network.h"

using net1::testing::RunConditions;
using net1::testing::runRandomNetwork;

// The heap store and the plain list run the same random networks, stimuli
// and parameters to the same bytes and the same final state.
TEST(fast_and_plain, give_the_same_bytes_and_state_on_random_networks) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    RunConditions plain;
    plain.referenceList = true;
    const auto fast = runRandomNetwork(seed, RunConditions{}, 600);
    const auto reference = runRandomNetwork(seed, plain, 600);
    ASSERT_EQ(fast.trace, reference.trace) << "seed " << seed;
    ASSERT_EQ(fast.state, reference.state) << "seed " << seed;
    ASSERT_GT(fast.trace.size(), 1000u) << "seed " << seed;
  }
}
