// A description's network, made on the engine: compiled once per edition.
#pragma once

#include <csignal>
#include <vector>

#include "description.h"
#include "net1.h"

namespace net1::drivers::NET1_EDITION_NAMESPACE {

// The groups, their units and the synapses of every pathway, drawing from
// the generator in the order that follows from the description alone:
// the groups and their units' draws in order of creation; then for each
// group in that order, each of its units newest first, and for that unit
// each pathway leaving its group in the order given, its targets newest
// first. Returns the groups in the description's order, or none (and
// frees what it made) when `stop` was set meanwhile.
std::vector<Group*> buildNetwork(const Description& d, const volatile std::sig_atomic_t* stop);
void freeNetwork(std::vector<Group*>& groups);

}  // namespace net1::drivers::NET1_EDITION_NAMESPACE
