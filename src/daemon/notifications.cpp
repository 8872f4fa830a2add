#include "daemon/notifications.h"

#include <linux/rtnetlink.h>
#include <net/if.h>

#include <cstdio>
#include <cstring>

#include "config/node_config.h"
#include "daemon/fastpath.h"
#include "daemon/kernel_gateway.h"
#include "daemon/pop_uplink.h"
#include "daemon/uplink_rules.h"
#include "netlink/default_route.h"
#include "netlink/interface_name.h"
#include "netlink/link_message.h"
#include "netlink/notification_walk.h"
#include "netlink/route_message.h"

namespace {

void read_config(UplinkState& state) { load_node_config(state.config, state.config_memory, node_config_path); }

// Interface `chosen` carries the default route from now on: it becomes the
// recorded gateway and, on a node that is not a POP, the port.
void take_new_gateway(UplinkState& state, int chosen) {
    InterfaceName name;
    // The interface went between the message and now: nothing to point the port at.
    if (!interface_name(chosen, name)) return;
    std::printf("Default gateway dev is %s\n", name);
    if (!state.config.is_pop) {
        std::fputs("Detected gateway change, flushing the fastpath entry\n", stdout);
        flush_fastpath();
        std::fputs("Updating the upstream port with default gateway as the device is not a pop\n", stdout);
        record_upstream_port(state, name, set_upstream_port(name));
    }
    state.gateway_ifindex = chosen;
}

// After anything that may have changed which default route the kernel uses. When
// the kernel cannot tell, a default route just announced (`announced`, empty for
// other messages) names the new gateway itself. The configuration is read only
// when the gateway moves, unless `config_read` says it already was.
void follow_kernel_gateway(UplinkState& state, Bytes announced, bool config_read) {
    const KernelGateway kernel = kernel_gateway(state);
    int chosen = kernel.ifindex;
    if (kernel.answer == GatewayAnswer::unknown) chosen = announced.empty() ? -1 : parse_default_route(announced);
    if (chosen <= 0 || chosen == state.gateway_ifindex) return;
    if (!config_read) read_config(state);
    take_new_gateway(state, chosen);
}

void handle_route_message(UplinkState& state, uint16_t type, Bytes message) {
    RouteMessage route;
    // Most route traffic is not about the default route: it costs no lookup and no
    // configuration read.
    if (!read_route_message(message, route) || route.dst_len != 0) return;
    read_config(state);
    if (type == RTM_DELROUTE && default_route_through(state, route, state.gateway_ifindex)) {
        InterfaceName name;
        if (interface_name(state.gateway_ifindex, name)) {
            state.gateway_ifindex = -1;
            std::printf("Default gateway deleted on %s\n", name);
        }
    }
    follow_kernel_gateway(state, type == RTM_NEWROUTE ? message : Bytes{}, true);
}

void handle_link_message(UplinkState& state, uint16_t type, Bytes message) {
    int ifindex = 0;
    uint32_t flags = 0;
    if (!read_link_header(message, ifindex, flags)) return;
    InterfaceName name;
    if (type == RTM_NEWLINK && (flags & IFF_RUNNING) != 0) {
        interface_name(ifindex, name);
        read_config(state);
        if (link_takes_uplink(name, flags, state.config)) move_pop_uplink(state, name, 1, name);
        return;
    }
    if (!link_may_take_routes(type, flags, read_link_change(message))) return;
    // A link that stopped or went may take the port with it, and routes too. A
    // link that went has no name left in the kernel: its message names it.
    bool config_read = false;
    if (!read_link_name(message, name)) interface_name(ifindex, name);
    if (name[0] != '\0' && std::strcmp(name, state.upstream_port) == 0) {
        read_config(state);
        config_read = true;
        if (tavro_replaces_lost_uplink(state.config)) replace_lost_pop_uplink(state, name);
    }
    follow_kernel_gateway(state, {}, config_read);
}

}  // namespace

void handle_notifications(UplinkState& state, Bytes datagram) {
    Notification found[max_notifications];
    const size_t count = notifications_in(datagram, found);
    for (size_t i = 0; i < count; ++i) {
        switch (found[i].kind) {
            case NotificationKind::route:
                handle_route_message(state, found[i].type, found[i].message);
                break;
            case NotificationKind::link:
                handle_link_message(state, found[i].type, found[i].message);
                break;
            case NotificationKind::nexthop:
                // An object replaced under a route may be announced only so.
                follow_kernel_gateway(state, {}, false);
                break;
        }
        std::fflush(stdout);
    }
}
