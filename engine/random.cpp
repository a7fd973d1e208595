#include <random>

#include "core.h"

namespace net1 {

struct RandomState {
  Generator kind = Generator::lcg15;
  // The portable example generator of the C standard: the same values on
  // every machine, 15 bits per draw.
  std::uint32_t next = 1;
  std::mt19937_64 wide;
};

namespace {

RandomState state;

int next15() {
  state.next = state.next * 1103515245u + 12345u;
  return static_cast<int>((state.next / 65536u) % 32768u);
}

}  // namespace

void seedRandom(std::uint32_t seed, Generator generator) {
  state.kind = generator;
  state.next = seed;
  state.wide.seed(seed);
}

int nextRandom() {
  if (state.kind == Generator::lcg15) return next15();
  return static_cast<int>(state.wide() >> 49);
}

std::uint8_t randProb(float p) {
  if (state.kind == Generator::lcg15) {
    float x = static_cast<float>(next15()) / 32767.0f;
    return p > x ? 1 : 0;
  }
  // A multiple of 2^-53 in [0, 1): true with probability p exactly, for
  // every p a float can hold.
  const double x = static_cast<double>(state.wide() >> 11) * 0x1p-53;
  return static_cast<double>(p) > x ? 1 : 0;
}

float randFloat(float lo, float hi) {
  // 24 bits from the 64-bit generator: all that single precision holds.
  float x = state.kind == Generator::lcg15 ? static_cast<float>(next15()) / 32767.0f
                                           : static_cast<float>(state.wide() >> 40) / 16777215.0f;
  float d = hi - lo;
  return x * d + lo;
}

std::uint32_t randBelow(std::uint32_t n) {
  if (state.kind == Generator::lcg15) {
    if (n <= 32768) return static_cast<std::uint32_t>(next15()) % n;
    std::uint64_t value = 0, range = 1;
    while (range < n) {
      value = value * 32768 + static_cast<std::uint64_t>(next15());
      range *= 32768;
    }
    return static_cast<std::uint32_t>(value % n);
  }
  // The high half of a 64 x 32-bit product, with the few values that would
  // make some results likelier than others drawn again.
  const auto product = [n] { return static_cast<unsigned __int128>(state.wide()) * n; };
  unsigned __int128 m = product();
  if (static_cast<std::uint64_t>(m) < n) {
    const std::uint64_t threshold = (0 - static_cast<std::uint64_t>(n)) % n;
    while (static_cast<std::uint64_t>(m) < threshold) m = product();
  }
  return static_cast<std::uint32_t>(m >> 64);
}

RandomState* saveRandom() { return new RandomState(state); }
void restoreRandom(const RandomState* saved) { state = *saved; }
void freeRandomState(RandomState* saved) { delete saved; }

}  // namespace net1
