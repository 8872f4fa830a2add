#include "daemon/kernel_gateway.h"

#include <unistd.h>

#include "daemon/nexthop_tally.h"
#include "daemon/route_expiry.h"
#include "daemon/router_probe.h"
#include "netlink/route_lookup.h"

namespace {

constexpr int64_t milliseconds_per_second = 1000;

// The route the kernel matches for the first probe that a default route carries.
GatewayAnswer find_default_route(RouteLookup& lookup, int socket_fd, RouteMessage& route) {
    for (const auto& probe : internet_probe_addresses) {
        Bytes reply;
        const KernelAnswer answer = lookup_route_to(lookup, socket_fd, probe, reply);
        if (answer == KernelAnswer::failed) return GatewayAnswer::unknown;
        // No route at all: a default route would have carried the probe.
        if (answer == KernelAnswer::refused) return GatewayAnswer::none;
        // A more specific route covers this probe; another may not be covered.
        if (read_route_message(reply, route) && route.dst_len == 0) return GatewayAnswer::chosen;
    }
    return GatewayAnswer::unknown;
}

KernelGateway ask_kernel_gateway(UplinkState& state, int socket_fd, int64_t& lifetime_ms) {
    RouteLookup& lookup = state.route_lookup;
    if (socket_fd < 0) return {};
    RouteMessage route;
    const GatewayAnswer found = find_default_route(lookup, socket_fd, route);
    if (found != GatewayAnswer::chosen) return {found, -1, {}};
    lifetime_ms = static_cast<int64_t>(route.expires_ticks) * milliseconds_per_second / sysconf(_SC_CLK_TCK);
    NexthopTally tally;
    // With no gateway followed (its route was deleted), the port's interface is
    // the one to keep, as long as it is among the nexthops.
    const int port_gateway_ifindex = state.port_follows_gateway ? state.port_ifindex : -1;
    tally.sought_ifindex = state.gateway_ifindex != -1 ? state.gateway_ifindex : port_gateway_ifindex;
    tally.sought_gateway = state.gateway_ifindex != -1 ? state.gateway_address : GatewayAddress{};
    tally.names_socket = state.names_socket;
    tally.failed = &state.failed_neighbours;
    // Forwarding is asked only where it weighs: a plain multipath route's member
    // whose gateway may have failed.
    if (!state.failed_neighbours.entries.empty() && members_weighed_by_forwarding(route)) {
        bool forwards = false;
        tally.node_forwards = lookup_forwarding(lookup, socket_fd, forwards) != KernelAnswer::found || forwards;
    }
    if (!count_route_nexthops(lookup, socket_fd, route, tally)) return {};
    if (tally.best_rank < 0) return {GatewayAnswer::none, -1, {}};
    return {GatewayAnswer::chosen, tally.best.ifindex, tally.best.gateway};
}

}  // namespace

KernelGateway kernel_gateway(UplinkState& state, int socket_fd) {
    int64_t lifetime_ms = 0;
    KernelGateway found = ask_kernel_gateway(state, socket_fd, lifetime_ms);
    // The timer keeps to the route the port is on, not the probed one.
    found.probe = kernel_probes_router(state, socket_fd, found);
    if (found.probe) return found;
    const RouteInUse route{found.answer == GatewayAnswer::chosen, found.ifindex, found.gateway, lifetime_ms};
    arm_route_expiry(state.route_expiry, route, monotonic_ms());
    return found;
}
