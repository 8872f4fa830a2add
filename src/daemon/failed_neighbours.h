#pragma once

#include <vector>

#include "netlink/neighbour_message.h"

// The IPv6 neighbour entries known to have failed: what the last refresh's
// neighbour dump said, kept up to date by each neighbour message since. On a node
// that does not forward, the kernel passes over a default route whose gateway's
// entry has failed, and takes it back without a word once the entry leaves that
// state or goes; only this tells such a change from a host's ordinary churn. The
// memory grows with the failed entries, never with the messages.
struct FailedNeighbours {
    std::vector<NeighbourEntry> entries;  // sorted
};

// Records that `entry` has failed. Returns true when it was not known to have.
bool note_neighbour_failed(FailedNeighbours& failed, const NeighbourEntry& entry);

// Records that `entry` has left the failed state, or gone. Returns true when it
// was known to have failed.
bool note_neighbour_recovered(FailedNeighbours& failed, const NeighbourEntry& entry);

// Whether `entry` is known to have failed.
bool neighbour_known_failed(const FailedNeighbours& failed, const NeighbourEntry& entry);
