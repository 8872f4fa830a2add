#include "daemon/notifications.h"

#include <linux/rtnetlink.h>
#include <net/if.h>

#include <cstdio>
#include <cstring>

#include "config/node_config.h"
#include "daemon/fastpath.h"
#include "daemon/kernel_gateway.h"
#include "daemon/pop_uplink.h"
#include "daemon/port_retry.h"
#include "daemon/running_links.h"
#include "daemon/uplink_rules.h"
#include "netlink/default_route.h"
#include "netlink/interface_name.h"
#include "netlink/link_message.h"
#include "netlink/neighbour_message.h"
#include "netlink/nexthop_message.h"
#include "netlink/notification_walk.h"
#include "netlink/route_message.h"

namespace {

void read_config(UplinkState& state) { load_node_config(state.config, state.config_memory, node_config_path); }

// Interface `chosen`, by gateway `via`, carries the default route from now on: it
// becomes the recorded gateway and, on a node that is not a POP, the port.
void take_new_gateway(UplinkState& state, int chosen, const GatewayAddress& via) {
    InterfaceName name;
    // The interface went between the message and now: nothing to point the port at.
    if (!interface_name(state.names_socket, chosen, name)) return;
    std::printf("Default gateway dev is %s\n", name);
    if (!state.config.is_pop) {
        std::fputs("Detected gateway change, flushing the fastpath entry\n", stdout);
        flush_fastpath();
        std::fputs("Updating the upstream port with default gateway as the device is not a pop\n", stdout);
        record_upstream_port(state, name, set_upstream_port(name), PortFor::gateway, chosen);
    }
    record_gateway(state, chosen, name, via);
}

// After anything that may have changed which default route the kernel uses, with
// the kernel's answer. When the kernel cannot tell, a default route just
// announced (`announced`, empty for other messages) names the new gateway itself.
// The port moves when the gateway's interface does, and on a node that has just
// stopped being a POP, whose port still is a POP's. The configuration is read
// only then, unless `config_read` says it already was.
void follow_kernel_gateway(UplinkState& state, const KernelGateway& kernel, Bytes announced, bool config_read) {
    int chosen = kernel.ifindex;
    GatewayAddress via = kernel.gateway;
    if (kernel.answer == GatewayAnswer::unknown) {
        chosen = announced.empty() ? -1 : parse_default_route(announced, state.names_socket);
        via = {};
    }
    if (chosen <= 0) return;
    if (chosen == state.gateway_ifindex) {
        // Another router on the same link moves no port, but is the one followed now.
        if (via.known()) state.gateway_address = via;
        if (state.port_follows_gateway || state.config.is_pop) return;
        if (!config_read) read_config(state);
        if (state.config.is_pop) return;
    } else if (!config_read) {
        read_config(state);
    }
    take_new_gateway(state, chosen, via);
}

// The same, after a notification that names no route: the kernel is asked.
void follow_kernel_gateway(UplinkState& state, bool config_read) {
    follow_kernel_gateway(state, kernel_gateway(state), {}, config_read);
}

// The gateway followed went with a route or nexthop object, unless the kernel's
// choice still carries it. It is named as it was recorded: its link may be gone.
void note_gateway_deleted(UplinkState& state, const KernelGateway& kernel) {
    const bool still_used = kernel.answer == GatewayAnswer::chosen && kernel.ifindex == state.gateway_ifindex &&
                            kernel.gateway == state.gateway_address;
    if (still_used) return;
    std::printf("Default gateway deleted on %s\n", state.gateway_name);
    forget_gateway(state);
}

// The gateway sought among what was deleted: the one followed, by any gateway
// when the kernel cannot tell.
GatewayAddress deleted_gateway_sought(const UplinkState& state, const KernelGateway& kernel) {
    return kernel.answer != GatewayAnswer::unknown ? state.gateway_address : GatewayAddress{};
}

// A default route was deleted. It took the gateway followed with it only when it
// carried that gateway (its interface and address) and the kernel's choice no
// longer does; when the kernel cannot tell, when it went through that interface.
void note_deleted_route(UplinkState& state, const RouteMessage& route, const KernelGateway& kernel) {
    const GatewayAddress via = deleted_gateway_sought(state, kernel);
    if (default_route_through(state, route, state.gateway_ifindex, via)) note_gateway_deleted(state, kernel);
}

// A nexthop object was deleted, and with the kernel's compatibility view off, the
// routes over it went without a word.
void note_deleted_nexthop(UplinkState& state, Bytes message, const KernelGateway& kernel) {
    NexthopObject object;
    if (!read_nexthop_object(message, object)) return;
    const GatewayAddress via = deleted_gateway_sought(state, kernel);
    if (nexthop_object_through(state, object, state.gateway_ifindex, via)) note_gateway_deleted(state, kernel);
}

void handle_route_message(UplinkState& state, uint16_t type, Bytes message) {
    RouteMessage route;
    // Most route traffic is not about the default route: it costs no lookup and no
    // configuration read.
    if (!read_route_message(message, route) || route.dst_len != 0) return;
    read_config(state);
    const KernelGateway kernel = kernel_gateway(state);
    if (type == RTM_DELROUTE) note_deleted_route(state, route, kernel);
    follow_kernel_gateway(state, kernel, type == RTM_NEWROUTE ? message : Bytes{}, true);
}

void link_name(const UplinkState& state, Bytes message, int ifindex, InterfaceName& name) {
    // A link that went has no name left in the kernel: its message names it.
    if (!read_link_name(message, name)) interface_name(state.names_socket, ifindex, name);
}

void handle_link_message(UplinkState& state, uint16_t type, Bytes message) {
    LinkHeader link;
    // A bridge port's messages (AF_BRIDGE) tell of its place in the bridge, not of
    // the link itself.
    if (!read_link_header(message, link) || link.family != AF_UNSPEC) return;
    InterfaceName name;
    if (type == RTM_NEWLINK && (link.flags & IFF_RUNNING) != 0) {
        // The kernel says a link runs after any change to it (MTU, address, queue):
        // only a link that starts running is news.
        if (!note_link_running(state.running_links, link.ifindex)) return;
        link_name(state, message, link.ifindex, name);
        read_config(state);
        if (link_takes_uplink(name, link.flags, state.config)) move_pop_uplink(state, name, 1, name);
        // Routes through it count again where the kernel passed them over while it
        // had no carrier, without a word when it comes back.
        follow_kernel_gateway(state, true);
        return;
    }
    note_link_stopped(state.running_links, link.ifindex);
    if (!link_may_take_routes(type, link.flags, link.change)) return;
    // A link that stopped or went may take the port with it, and routes too.
    bool config_read = false;
    link_name(state, message, link.ifindex, name);
    if (name[0] != '\0' && std::strcmp(name, state.upstream_port) == 0) {
        read_config(state);
        config_read = true;
        if (tavro_replaces_lost_uplink(state.config)) replace_lost_pop_uplink(state, name);
    }
    follow_kernel_gateway(state, config_read);
}

void handle_nexthop_message(UplinkState& state, uint16_t type, Bytes message) {
    // An object replaced under a route may be announced only so.
    const KernelGateway kernel = kernel_gateway(state);
    if (type == RTM_DELNEXTHOP) note_deleted_nexthop(state, message, kernel);
    follow_kernel_gateway(state, kernel, {}, false);
}

void handle_neighbour_message(UplinkState& state, Bytes message) {
    NeighbourMessage neighbour;
    if (!read_neighbour_message(message, neighbour)) return;
    if (neighbour_may_rank_routers(neighbour, state.gateway_ifindex, state.gateway_address)) {
        follow_kernel_gateway(state, false);
    }
}

}  // namespace

void handle_notifications(UplinkState& state, Bytes datagram) {
    Notification found[max_notifications];
    const size_t count = notifications_in(datagram, found);
    for (size_t i = 0; i < count; ++i) {
        const DecisionMark before = mark_decision(state);
        switch (found[i].kind) {
            case NotificationKind::route:
                handle_route_message(state, found[i].type, found[i].message);
                break;
            case NotificationKind::link:
                handle_link_message(state, found[i].type, found[i].message);
                break;
            case NotificationKind::neighbour:
                handle_neighbour_message(state, found[i].message);
                break;
            case NotificationKind::nexthop:
                handle_nexthop_message(state, found[i].type, found[i].message);
                break;
            case NotificationKind::rule:
                follow_kernel_gateway(state, false);
                break;
        }
        write_port_again_after(state, before);
        std::fflush(stdout);
    }
}

void follow_kernel_silently(UplinkState& state) {
    const DecisionMark before = mark_decision(state);
    follow_kernel_gateway(state, false);
    write_port_again_after(state, before);
    std::fflush(stdout);
}
