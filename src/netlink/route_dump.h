#pragma once

#include <cstdint>

#include "netlink/message_walk.h"

// The default route a dump offers in place of the kernel's own answer: the usable
// one (see parse_default_route) of the main table with the lowest metric, the
// first of equals in dump order.
struct DumpedDefault {
    int ifindex = -1;  // -1 while none is found
    uint32_t metric = 0;
};

// Walks one datagram of an IPv6 route dump into `best`, naming interfaces over
// `names_socket`. NLMSG_DONE ends the dump wherever it stands, NLMSG_ERROR or a
// datagram that does not begin with a whole message fails it, and a datagram
// whose first message lacks NLM_F_MULTI is the last one.
DumpProgress take_dump_datagram(Bytes datagram, int names_socket, DumpedDefault& best);

// Asks the kernel for its whole IPv6 routing table and finds the default route
// `best` describes. Returns 0, or -1 after writing the failure's lines on stderr;
// nothing found counts then.
int dump_default_routes(DumpedDefault& best);
