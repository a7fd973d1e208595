#include "net1.h"

namespace net1 {
namespace {

// The portable example generator of the C standard: the same values on
// every machine, 15 bits per draw.
std::uint32_t next = 1;

}  // namespace

void seedRandom(std::uint32_t seed) { next = seed; }

int nextRandom() {
  next = next * 1103515245u + 12345u;
  return static_cast<int>((next / 65536u) % 32768u);
}

std::uint8_t randProb(float p) {
  float x = static_cast<float>(nextRandom()) / 32767.0f;
  return p > x ? 1 : 0;
}

float randFloat(float lo, float hi) {
  float x = static_cast<float>(nextRandom()) / 32767.0f;
  float d = hi - lo;
  return x * d + lo;
}

}  // namespace net1
