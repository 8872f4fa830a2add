#pragma once

#include "daemon/uplink_state.h"
#include "netlink/route_message.h"

// The default route the kernel itself uses, asked of the kernel rather than
// worked out here: metrics, router preferences, neighbour reachability and policy
// rules are the kernel's to weigh.

enum class GatewayAnswer {
    chosen,   // `ifindex` is the output interface of the default route in use
    none,     // the kernel has no default route in use with a gateway and a named interface
    unknown,  // it could not be asked, or the route it matched is not a default route
};

struct KernelGateway {
    GatewayAnswer answer = GatewayAnswer::unknown;
    int ifindex = -1;
};

// The output interface of the default route the kernel uses now. Of that route's
// nexthops (its own, a multipath route's, or those of the nexthop object it
// names), the recorded gateway stays when it is one of them; otherwise the first
// with a gateway and a named interface is chosen. Nexthops the kernel marks dead
// do not count.
KernelGateway kernel_gateway(UplinkState& state);

// Whether the default route `route` goes through interface `ifindex`: its own
// output interface, or one of its nexthops, with a gateway.
bool default_route_through(UplinkState& state, const RouteMessage& route, int ifindex);
