#include "daemon/gateway_gone.h"

#include <cstdio>

#include "netlink/heap_buffer.h"
#include "netlink/nexthop_message.h"
#include "netlink/route_lookup.h"
#include "netlink/routes_through.h"

namespace {

bool kernel_carries_gateway(const UplinkState& state, const KernelGateway& kernel) {
    return kernel.answer == GatewayAnswer::chosen && kernel.ifindex == state.gateway_ifindex &&
           kernel.gateway == state.gateway_address;
}

void note_gateway_deleted(UplinkState& state, const KernelGateway& kernel) {
    if (kernel_carries_gateway(state, kernel)) return;
    std::printf("Default gateway deleted on %s\n", state.gateway_name);
    forget_gateway(state);
}

// The gateway sought among what was deleted: the one followed, by any gateway
// when the kernel cannot tell.
GatewayAddress deleted_gateway_sought(const UplinkState& state, const KernelGateway& kernel) {
    return kernel.answer != GatewayAnswer::unknown ? state.gateway_address : GatewayAddress{};
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
        if (read_route_message(message.bytes, route) && default_route_through(state, route, ifindex, via)) return true;
    }
    return false;
}

}  // namespace

void note_deleted_route(UplinkState& state, const RouteMessage& route, const KernelGateway& kernel) {
    const GatewayAddress via = deleted_gateway_sought(state, kernel);
    if (default_route_through(state, route, state.gateway_ifindex, via)) note_gateway_deleted(state, kernel);
}

void note_deleted_nexthop(UplinkState& state, Bytes message, const KernelGateway& kernel) {
    NexthopObject object;
    if (!read_nexthop_object(message, object)) return;
    const GatewayAddress via = deleted_gateway_sought(state, kernel);
    if (nexthop_object_through(state, object, state.gateway_ifindex, via)) note_gateway_deleted(state, kernel);
}

void note_gateway_gone_with_link(UplinkState& state, int ifindex, const KernelGateway& kernel) {
    if (ifindex <= 0 || ifindex != state.gateway_ifindex || kernel.answer == GatewayAnswer::unknown) return;
    if (kernel_carries_gateway(state, kernel)) return;
    if (!default_route_left_through(state, ifindex, state.gateway_address)) note_gateway_deleted(state, kernel);
}
