// The engine's arrays for walking synapse chains (see SynapseList).
#pragma once

#include "net1.h"

namespace net1 {

// The synapses of an incoming (`nextIn`) or outgoing (`nextOut`) chain in
// order, all of them or the active ones alone (`activeCount` of them).
Synapse* const* chainInOrder(SynapseList* chain, bool incoming);
Synapse* const* activeInOrder(SynapseList* chain, bool incoming);
// After chainInOrder of an outgoing chain: its `switchedOffSince`.

}  // namespace net1
