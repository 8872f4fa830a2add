#pragma once

#include <cstdint>

#include "netlink/gateway_address.h"
#include "netlink/message_walk.h"

// One way out of a route: its own nexthop, a multipath route's member, or a
// nexthop object's.
struct RouteNexthop {
    int ifindex = 0;          // 0 when there is none
    GatewayAddress gateway;   // unknown for a device-only nexthop
    bool dead = false;        // the kernel sends nothing through it (its link is down, or
                              // without carrier where the kernel ignores such routes)
    bool linkdown = false;    // its link has no carrier

    bool has_gateway() const { return gateway.known(); }
};

// Reads the RTNH_F_ flags of a nexthop into `nexthop`.
void read_nexthop_flags(uint32_t flags, RouteNexthop& nexthop);

// Where a route message (header, rtmsg, attributes) sends its traffic, as far as
// its bytes go.
struct RouteMessage {
    uint8_t dst_len = 0;
    uint32_t table = 0;           // RTA_TABLE, or rtm_table when it has none
    uint32_t metric = 0;          // RTA_PRIORITY; 0 when there is none
    int32_t expires_ticks = 0;    // RTA_CACHEINFO's lifetime left, in clock ticks; 0 when none
    RouteNexthop nexthop;         // its own: RTA_OIF (the last one), RTA_GATEWAY, rtm_flags
    Bytes multipath;              // RTA_MULTIPATH's rtnexthop records; empty when none
    uint32_t nexthop_object = 0;  // RTA_NH_ID: the kernel nexthop object it uses; 0 when none
};

// Returns false when the message is too short to hold its rtmsg.
bool read_route_message(Bytes message, RouteMessage& route);

// Takes the next nexthop off the front of `rest` (RTA_MULTIPATH's payload).
// Returns false when no whole rtnexthop is left.
bool next_route_nexthop(Bytes& rest, RouteNexthop& nexthop);
