#pragma once

#include <cstdint>

#include "netlink/message_walk.h"

// Where a route message (header, rtmsg, attributes) sends its traffic, as far as
// its bytes go.
struct RouteMessage {
    uint8_t dst_len = 0;
    int output_index = 0;         // RTA_OIF, the last one; 0 when there is none
    bool has_gateway = false;     // an RTA_GATEWAY long enough for an IPv6 address
    Bytes multipath;              // RTA_MULTIPATH's rtnexthop records; empty when none
    uint32_t nexthop_object = 0;  // RTA_NH_ID: the kernel nexthop object it uses; 0 when none
};

// Returns false when the message is too short to hold its rtmsg.
bool read_route_message(Bytes message, RouteMessage& route);

// One nexthop of a multipath route.
struct RouteNexthop {
    int ifindex = 0;
    bool has_gateway = false;
    bool dead = false;  // the kernel sends nothing through it (its link is down)
};

// Takes the next nexthop off the front of `rest` (RTA_MULTIPATH's payload).
// Returns false when no whole rtnexthop is left.
bool next_route_nexthop(Bytes& rest, RouteNexthop& nexthop);
