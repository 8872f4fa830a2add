#pragma once

#include <cstdint>

#include "netlink/heap_buffer.h"
#include "netlink/message_walk.h"
#include "netlink/route_lookup.h"

// Walks one datagram of the link dump asked for as request `sequence`: the index
// of every running link (as an int) is appended to `running`. Messages of other
// requests are stepped over; NLMSG_DONE ends the dump and NLMSG_ERROR fails it.
DumpProgress take_link_dump_datagram(Bytes datagram, uint32_t sequence, HeapBuffer& running);

// Asks the kernel, over `socket_fd` (the route lookup's), for every link, and
// collects the indexes of the running ones into `running`. Returns false, after
// its stderr line, when the dump could not be had; what was collected then does
// not count.
bool dump_running_links(RouteLookup& lookup, int socket_fd, HeapBuffer& running);
