#include "daemon/notifications.h"

#include <linux/rtnetlink.h>
#include <net/if.h>

#include <cstdio>
#include <cstring>

#include "daemon/fastpath.h"
#include "daemon/gateway_gone.h"
#include "daemon/kernel_gateway.h"
#include "daemon/link_rename.h"
#include "daemon/pop_uplink.h"
#include "daemon/running_links.h"
#include "daemon/uplink_rules.h"
#include "netlink/address_message.h"
#include "netlink/default_route.h"
#include "netlink/interface_name.h"
#include "netlink/link_message.h"
#include "netlink/neighbour_message.h"
#include "netlink/netconf_message.h"
#include "netlink/notification_walk.h"
#include "netlink/route_message.h"

namespace {

// What a notification already tells a decision.
struct Cue {
    Bytes announced;          // a default route just announced: the gateway when the kernel cannot tell
    int link_lost_routes = 0;  // a link that may have lost routes without a word
    bool config_read = false;  // the configuration was read for this notification
};

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
// the kernel's answer. A gateway gone with a link is forgotten first. The port
// moves when the gateway's interface does, and on a node that has just stopped
// being a POP, whose port still is a POP's. The configuration is read only then.
void follow_kernel_gateway(UplinkState& state, const KernelGateway& kernel, const Cue& cue) {
    note_gateway_gone_with_link(state, cue.link_lost_routes, kernel);
    int chosen = kernel.ifindex;
    GatewayAddress via = kernel.gateway;
    if (kernel.answer == GatewayAnswer::unknown) {
        chosen = cue.announced.empty() ? -1 : parse_default_route(cue.announced, state.names_socket);
        via = {};
    }
    if (chosen <= 0) return;
    if (chosen == state.gateway_ifindex) {
        // Another router on the same link moves no port, but is the one followed now.
        if (via.known()) state.gateway_address = via;
        if (state.port_follows_gateway || state.config.is_pop) return;
        if (!cue.config_read) read_node_config(state);
        if (state.config.is_pop) return;
    } else if (!cue.config_read) {
        read_node_config(state);
    }
    take_new_gateway(state, chosen, via);
}

// The same, after a notification that names no route: the kernel is asked.
void follow_kernel_gateway(UplinkState& state, const Cue& cue = {}) {
    follow_kernel_gateway(state, kernel_gateway(state), cue);
}

void handle_route_message(UplinkState& state, uint16_t type, Bytes message) {
    RouteMessage route;
    // Most route traffic is not about the default route: it costs no lookup and no
    // configuration read.
    if (!read_route_message(message, route) || route.dst_len != 0) return;
    read_node_config(state);
    const KernelGateway kernel = kernel_gateway(state);
    if (type == RTM_DELROUTE) note_deleted_route(state, route, kernel);
    follow_kernel_gateway(state, kernel, {type == RTM_NEWROUTE ? message : Bytes{}, 0, true});
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
    const bool port_or_gateway = link.ifindex == state.port_ifindex || link.ifindex == state.gateway_ifindex;
    if (type == RTM_NEWLINK && port_or_gateway) {
        link_name(state, message, link.ifindex, name);
        follow_renamed_link(state, link.ifindex, name);
    }
    if (type == RTM_NEWLINK && (link.flags & IFF_RUNNING) != 0) {
        // The kernel says a link runs after any change to it (MTU, address, queue):
        // only a link that starts running is news.
        if (!note_link_running(state.running_links, link.ifindex)) return;
        link_name(state, message, link.ifindex, name);
        read_node_config(state);
        if (link_takes_uplink(name, link.flags, state.config)) move_pop_uplink(state, name, 1, name);
        // Routes through it count again where the kernel passed them over while it
        // had no carrier, without a word when it comes back.
        follow_kernel_gateway(state, {{}, 0, true});
        return;
    }
    note_link_stopped(state.running_links, link.ifindex);
    if (!link_may_take_routes(type, link.flags, link.change)) return;
    // A link that stopped or went may take the port with it, and routes too.
    Cue cue{{}, link.ifindex, false};
    link_name(state, message, link.ifindex, name);
    if (name[0] != '\0' && std::strcmp(name, state.upstream_port) == 0) {
        read_node_config(state);
        cue.config_read = true;
        if (tavro_replaces_lost_uplink(state.config)) replace_lost_pop_uplink(state, name);
    }
    // A link that went can no longer be the port's: another may take its index.
    if (type == RTM_DELLINK && link.ifindex == state.port_ifindex) state.port_ifindex = -1;
    follow_kernel_gateway(state, cue);
}

void handle_nexthop_message(UplinkState& state, uint16_t type, Bytes message) {
    // An object replaced under a route may be announced only so.
    const KernelGateway kernel = kernel_gateway(state);
    if (type == RTM_DELNEXTHOP) note_deleted_nexthop(state, message, kernel);
    follow_kernel_gateway(state, kernel, {});
}

void handle_neighbour_message(UplinkState& state, uint16_t type, Bytes message) {
    NeighbourMessage neighbour;
    if (!read_neighbour_message(message, neighbour)) return;
    if (neighbour_may_rank_routers(type, neighbour, state.failed_neighbours, state.gateway_ifindex,
                                   state.gateway_address)) {
        follow_kernel_gateway(state);
    }
}

void handle_address_message(UplinkState& state, uint16_t type, Bytes message) {
    AddressMessage address;
    if (read_address_message(message, address) && address_loss_may_take_routes(type, address)) {
        follow_kernel_gateway(state, {{}, address.ifindex, false});
    }
}

void handle_netconf_message(UplinkState& state, uint16_t type, Bytes message) {
    NetconfMessage netconf;
    if (read_netconf_message(message, netconf) && netconf_may_rank_routes(type, netconf)) follow_kernel_gateway(state);
}

}  // namespace

void handle_notifications(UplinkState& state, Bytes datagram) {
    Notification found[max_notifications];
    const size_t count = notifications_in(datagram, found);
    for (size_t i = 0; i < count; ++i) {
        const Notification& notification = found[i];
        switch (notification.kind) {
            case NotificationKind::route:
                handle_route_message(state, notification.type, notification.message);
                break;
            case NotificationKind::link:
                handle_link_message(state, notification.type, notification.message);
                break;
            case NotificationKind::neighbour:
                handle_neighbour_message(state, notification.type, notification.message);
                break;
            case NotificationKind::nexthop:
                handle_nexthop_message(state, notification.type, notification.message);
                break;
            case NotificationKind::rule:
                follow_kernel_gateway(state);
                break;
            case NotificationKind::address:
                handle_address_message(state, notification.type, notification.message);
                break;
            case NotificationKind::netconf:
                handle_netconf_message(state, notification.type, notification.message);
                break;
        }
        std::fflush(stdout);
    }
}

void follow_kernel_silently(UplinkState& state) {
    follow_kernel_gateway(state);
    std::fflush(stdout);
}
