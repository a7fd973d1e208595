// The checks of a description as a whole, after every setting is in place:
// what no single field can say (a range of one field against another, a
// group that a stimulus names, a network too large for this machine).
// Each refusal names the keys, with where they were set.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "description.h"

namespace net1::drivers {

// Throws UsageError for a description that cannot start a run. `base` is
// the description the settings started from: a switch-off step of its own
// may lie beyond a shortened run. `named` gives a key as messages show it,
// with where it was set. `missingFactor` is the message for an edition-2
// run whose switching needs the rate factor that was not given.
void checkDescription(const Description& d, const Description& base,
                      const std::function<std::string(const std::string&)>& named, const std::string& missingFactor);

// Notes for standard error about what the description does not do as it
// may seem to: probabilities that the 15-bit generator cannot tell from
// 1/32768.
std::vector<std::string> descriptionNotes(const Description& d);

// The synapses a pathway is expected to make, and the memory a network
// needs, about, in bytes; for the check against this machine's memory.
double expectedSynapses(const Description& d, const PathwaySpec& p);
double expectedBytes(const Description& d);

// The most events a run may keep pending here: half of this machine's
// memory at 32 bytes an event, and never more than 2^31 - 1.
std::uint32_t pendingEventLimit();

// The probability that a pairwise pathway draws each pair with, as the
// build computes it.
float pairProbability(const Description& d, const PathwaySpec& p);

}  // namespace net1::drivers
