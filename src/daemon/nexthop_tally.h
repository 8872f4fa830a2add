#pragma once

#include "netlink/gateway_address.h"
#include "netlink/nexthop_message.h"
#include "netlink/route_lookup.h"
#include "netlink/route_message.h"

// What the nexthops of one default route say: which of them traffic takes, as
// the port would follow it, or whether one goes through a given gateway. A route
// holds its nexthops itself, in a multipath list, or in the nexthop object it
// names (a group's members are asked about one by one).

// What the nexthops of one route say about one gateway, and which comes first.
struct NexthopTally {
    int sought_ifindex = -1;
    GatewayAddress sought_gateway;  // unknown: any gateway through that interface
    // Choosing a nexthop for traffic; otherwise only the sought gateway is looked
    // for, dead or not.
    bool choosing = true;
    int names_socket = -1;
    bool holds_sought = false;
    int best_rank = -1;  // of the nexthop chosen so far, in `best`; -1: none yet
    RouteNexthop best;
};

// Counts the nexthops of `route`, asking on `socket_fd` about a nexthop object
// it names. When choosing: nexthops the kernel marks dead do not count; a link
// with carrier comes before one without, then the sought gateway, then another
// through its interface, then any other with a gateway and a named interface.
// Returns false when a nexthop object could not be asked about.
bool count_route_nexthops(RouteLookup& lookup, int socket_fd, const RouteMessage& route, NexthopTally& tally);

// Whether the default route `route` goes through interface `ifindex` by gateway
// `via` (by any gateway when `via` is unknown): its own nexthop, one of its
// multipath nexthops, or its nexthop object's, dead or not.
bool default_route_through(RouteLookup& lookup, const RouteMessage& route, int ifindex, const GatewayAddress& via);

// Whether nexthop object `object` (one that may be gone: a group's members are
// asked about) goes through interface `ifindex` by gateway `via` (by any gateway
// when `via` is unknown).
bool nexthop_object_through(RouteLookup& lookup, const NexthopObject& object, int ifindex, const GatewayAddress& via);
