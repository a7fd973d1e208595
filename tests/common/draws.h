// Counting the generator's draws in tests.
#pragma once

#include <cstdint>

#include "core.h"

namespace net1::testing {

// How many draws were made since seedRandom(seed): where the generator's
// next two values stand in the sequence from that seed (-1 past `limit`).
inline int drawsSince(std::uint32_t seed, int limit = 100000) {
  const int a = nextRandom();
  const int b = nextRandom();
  seedRandom(seed);
  int previous = nextRandom();
  for (int i = 0; i < limit; ++i) {
    const int value = nextRandom();
    if (previous == a && value == b) return i;
    previous = value;
  }
  return -1;
}

}  // namespace net1::testing
