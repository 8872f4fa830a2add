#pragma once

#include "daemon/failed_neighbours.h"
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
    // The gateways whose neighbour entry is known FAILED (nullptr: none weighed).
    // The kernel hashes no flow onto a nexthop object's member through one, and,
    // on a node that does not forward, none onto a plain route's member either.
    const FailedNeighbours* failed = nullptr;
    bool node_forwards = false;
    bool holds_sought = false;
    int best_rank = -1;  // of the nexthop chosen so far, in `best`; -1: none yet
    RouteNexthop best;
};

// Counts the nexthops of `route`, asking on `socket_fd` about a nexthop object
// it names. When choosing: nexthops the kernel marks dead do not count; one the
// kernel sends flows to comes before one whose gateway has failed, and a link
// with carrier before one without; then the sought gateway, then another through
// its interface, then any other with a gateway and a named interface. Returns
// false when a nexthop object could not be asked about.
bool count_route_nexthops(RouteLookup& lookup, int socket_fd, const RouteMessage& route, NexthopTally& tally);

// Whether the nexthop chosen is one the kernel sends flows to: not through a
// gateway known to have failed, as the tally weighs them.
bool tally_chose_live(const NexthopTally& tally);

// Whether `route` is one whose members the kernel weighs by their gateway's
// neighbour entry only while the node does not forward: a plain multipath route.
bool members_weighed_by_forwarding(const RouteMessage& route);

// Whether the default route `route` goes through interface `ifindex` by gateway
// `via` (by any gateway when `via` is unknown): its own nexthop, one of its
// multipath nexthops, or its nexthop object's, dead or not.
bool default_route_through(RouteLookup& lookup, const RouteMessage& route, int ifindex, const GatewayAddress& via);

// Whether nexthop object `object` (one that may be gone: a group's members are
// asked about) goes through interface `ifindex` by gateway `via` (by any gateway
// when `via` is unknown).
bool nexthop_object_through(RouteLookup& lookup, const NexthopObject& object, int ifindex, const GatewayAddress& via);
