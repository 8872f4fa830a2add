#include "daemon/router_probe.h"

#include "daemon/nexthop_tally.h"
#include "netlink/heap_buffer.h"
#include "netlink/route_message.h"
#include "netlink/routes_through.h"

namespace {

// Whether a default route other than through `probed` has a gateway the kernel
// sends flows to. A route that has run out of lifetime, which the kernel passes
// over until it collects it, does not count.
bool live_router_besides(UplinkState& state, int socket_fd, const NeighbourEntry& probed) {
    HeapBuffer routes;
    if (dump_default_routes_through(state.route_lookup, socket_fd, 0, routes) != KernelAnswer::found) return false;
    Bytes rest = routes.view();
    NetlinkMessage message;
    RouteMessage route;
    while (next_message(rest, message)) {
        if (!read_route_message(message.bytes, route) || route.expires_ticks < 0) continue;
        NexthopTally tally;
        tally.failed = &state.failed_neighbours;
        tally.names_socket = state.names_socket;
        if (count_route_nexthops(state.route_lookup, socket_fd, route, tally) && tally_chose_live(tally) &&
            NeighbourEntry{tally.best.ifindex, tally.best.gateway} != probed) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool kernel_probes_router(UplinkState& state, int socket_fd, const KernelGateway& kernel) {
    if (kernel.answer != GatewayAnswer::chosen) return false;
    if (kernel.ifindex == state.gateway_ifindex && kernel.gateway == state.gateway_address) return false;
    const NeighbourEntry probed{kernel.ifindex, kernel.gateway};
    if (!neighbour_known_failed(state.failed_neighbours, probed)) return false;
    bool forwards = false;
    if (lookup_forwarding(state.route_lookup, socket_fd, forwards) != KernelAnswer::found || forwards) return false;
    return live_router_besides(state, socket_fd, probed);
}
