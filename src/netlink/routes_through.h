#pragma once

#include "netlink/heap_buffer.h"
#include "netlink/route_lookup.h"

// Asks the kernel, over `socket_fd` (the route lookup's), for its IPv6 routes
// through interface `ifindex` (through any when it is 0), and keeps the default routes among them, whole,
// one message after another, in `routes`: the caller may have to ask about their
// nexthop objects on the same socket, which the dump holds until it ends. A
// kernel that cannot filter a dump by interface sends every route; the caller
// still tells which go through it. Returns found (`routes` may be empty), refused
// when the kernel has no interface by that index, or failed (after its stderr
// line).
KernelAnswer dump_default_routes_through(RouteLookup& lookup, int socket_fd, int ifindex, HeapBuffer& routes);
