// What both editions of the engine share: limits, memory and fatal errors,
// and the generator behind every random draw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "trace_grammar.h"

namespace net1 {

// The room addGroup sets aside for a group's units unless told otherwise,
// and the most a group can be given: a unit's id must fit the trace.
inline constexpr int kMaxUnitsPerGroup = 5000;
inline constexpr std::uint32_t kMaxGroupCapacity = trace::kMaxUnitId + 1;
inline constexpr std::size_t kMaxGroupName = trace::kMaxNameLength;

// Memory. Every record starts all zero; allocation failure is fatal.
// allocMem returns `size` zeroed bytes, never null.
void* allocMem(std::size_t size);
template <class T>
T* allocRecord() {
  return new (allocMem(sizeof(T))) T{};
}
template <class T>
void freeRecord(T* record) {
  record->~T();
  std::free(record);
}

// Fatal error: the fixed message on standard output (after everything
// written so far) and on standard error, then exit status 1.
[[noreturn, gnu::cold]] void fatal(const char* message);
// A program's last word before a fatal error is reported: `hook` is called
// once with the message, before it is printed, so that the program can
// write out what it still holds and note why its run ended.
void setFatalHook(void (*hook)(const char* message));

// The process-wide generator behind every random draw, so that runs repeat
// exactly on every platform. Two kinds: the 15-bit generator of the nine
// experiments (the portable example generator of the C standard), and the
// 64-bit Mersenne Twister of the C++ standard, whose sequence the standard
// fixes; every draw below is derived from their bits by this engine's own
// arithmetic, so every build gives the same values.
enum class Generator : std::uint8_t { lcg15, mt19937_64 };
// Seeds the generator and makes `generator` the one that draws.
void seedRandom(std::uint32_t seed, Generator generator = Generator::lcg15);
// The next value from 0 to 32767 (the 64-bit generator's top 15 bits).
int nextRandom();
// 1 with probability about p: the 15-bit generator compares p with r/32767
// in single precision, so that only multiples of 1/32768 can be told apart;
// the 64-bit one compares it with 53 random bits.
std::uint8_t randProb(float p);
// A value from lo to hi, both ends included, in single precision:
// r / rmax * (hi - lo) + lo, with 15 or 24 random bits.
float randFloat(float lo, float hi);
// A whole number from 0 to n - 1 (n above 0). The 15-bit generator takes
// its next value modulo n, as the nine experiments draw their input units,
// or for n above 32768 several values, read as one number, modulo n; the
// 64-bit one draws without bias.
std::uint32_t randBelow(std::uint32_t n);
// Everything the generator holds, to set aside and bring back: several
// simulations in one process each keep their own sequence.
struct RandomState;
RandomState* saveRandom();
void restoreRandom(const RandomState* state);
void freeRandomState(RandomState* state);

}  // namespace net1
