#pragma once

#include "netlink/heap_buffer.h"
#include "netlink/route_lookup.h"

// Asks the kernel, over `socket_fd` (the route lookup's), for every link, and
// collects the indexes of the running ones into `running` (as ints). Returns
// false, after its stderr line, when the dump could not be had; what was
// collected then does not count.
bool dump_running_links(RouteLookup& lookup, int socket_fd, HeapBuffer& running);
