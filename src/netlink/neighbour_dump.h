#pragma once

#include <vector>

#include "netlink/neighbour_message.h"
#include "netlink/route_lookup.h"

// Asks the kernel, over `socket_fd` (the route lookup's), for its IPv6 neighbour
// entries, and collects the failed ones into `failed`, sorted. Returns false,
// after its stderr line, when the dump could not be had; what was collected then
// does not count.
bool dump_failed_neighbours(RouteLookup& lookup, int socket_fd, std::vector<NeighbourEntry>& failed);
