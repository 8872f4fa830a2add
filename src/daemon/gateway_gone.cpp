#include "daemon/gateway_gone.h"

#include "daemon/nexthop_tally.h"
#include "netlink/heap_buffer.h"
#include "netlink/nexthop_message.h"
#include "netlink/route_lookup.h"
#include "netlink/routes_through.h"

namespace {

bool kernel_carries_gateway(const UplinkState& state, const KernelGateway& kernel) {
    return kernel.answer == GatewayAnswer::chosen && kernel.ifindex == state.gateway_ifindex &&
           kernel.gateway == state.gateway_address;
}

// Whether a default route through interface `ifindex` by gateway `via` is left;
// true too when the kernel could not say.
bool default_route_left_through(UplinkState& state, int ifindex, const GatewayAddress& via) {
    const int socket_fd = lookup_socket(state.route_lookup);
    if (socket_fd < 0) return true;
    HeapBuffer routes;
    const KernelAnswer answer = dump_default_routes_through(state.route_lookup, socket_fd, ifindex, routes);
    // Refused: no interface has that index any more, so nothing goes through it.
    if (answer != KernelAnswer::found) return answer == KernelAnswer::failed;
    Bytes rest = routes.view();
    NetlinkMessage message;
    RouteMessage route;
    while (next_message(rest, message)) {
        if (!read_route_message(message.bytes, route)) continue;
        if (default_route_through(state.route_lookup, route, ifindex, via)) return true;
    }
    return false;
}

}  // namespace

bool gateway_gone(UplinkState& state, const WhatWent& went, const KernelGateway& kernel) {
    const int gateway = state.gateway_ifindex;
    if (gateway <= 0 || kernel_carries_gateway(state, kernel)) return false;
    const bool kernel_told = kernel.answer != GatewayAnswer::unknown;
    const GatewayAddress via = kernel_told ? state.gateway_address : GatewayAddress{};
    if (went.route != nullptr && default_route_through(state.route_lookup, *went.route, gateway, via)) return true;
    NexthopObject object;
    if (!went.nexthop_object.empty() && read_nexthop_object(went.nexthop_object, object) &&
        nexthop_object_through(state.route_lookup, object, gateway, via)) {
        return true;
    }
    return (went.link == gateway || went.untold) && kernel_told && !default_route_left_through(state, gateway, via);
}
