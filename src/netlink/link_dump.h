#pragma once

#include <cstdint>

#include "netlink/heap_buffer.h"
#include "netlink/route_lookup.h"

// A link in an interface group other than the default.
struct GroupedLink {
    int32_t ifindex = 0;
    uint32_t group = 0;
};

// Asks the kernel, over `socket_fd` (the route lookup's), for every link, and
// collects the indexes of the running ones into `running` (as ints), and the
// links outside the default group into `grouped` (as GroupedLinks), both in the
// kernel's order. Returns false, after its stderr line, when the dump could not
// be had; what was collected then does not count.
bool dump_links(RouteLookup& lookup, int socket_fd, HeapBuffer& running, HeapBuffer& grouped);
