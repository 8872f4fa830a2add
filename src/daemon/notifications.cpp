#include "daemon/notifications.h"

#include <linux/rtnetlink.h>
#include <net/if.h>

#include <cstdio>

#include "daemon/link_groups.h"
#include "daemon/reconciliation.h"
#include "daemon/running_links.h"
#include "daemon/uplink_rules.h"
#include "netlink/address_message.h"
#include "netlink/interface_name.h"
#include "netlink/link_message.h"
#include "netlink/neighbour_message.h"
#include "netlink/netconf_message.h"
#include "netlink/notification_walk.h"
#include "netlink/route_message.h"
#include "netlink/rule_message.h"

// Each kind of notification has its cheap filter here, and what passes it is
// handed to the reconciliation with what the message already tells.

namespace {

void on_route_message(UplinkState& state, uint16_t type, Bytes message) {
    RouteMessage route;
    // Most route traffic is not about the default route: it costs no lookup and no
    // configuration read.
    if (!read_route_message(message, route) || route.dst_len != 0) return;
    Cue cue;
    cue.read_config = true;
    if (type == RTM_NEWROUTE) cue.announced = message;
    if (type == RTM_DELROUTE) cue.went.route = &route;
    reconcile(state, cue);
}

void on_link_message(UplinkState& state, uint16_t type, Bytes message) {
    LinkHeader link;
    // A bridge port's messages (AF_BRIDGE) tell of its place in the bridge, not of
    // the link itself.
    if (!read_link_header(message, link) || link.family != AF_UNSPEC) return;
    LinkNews news;
    news.ifindex = link.ifindex;
    news.flags = link.flags;
    news.port_or_gateway =
        type == RTM_NEWLINK && (link.ifindex == state.port_ifindex || link.ifindex == state.gateway_ifindex);
    // A link moved into or out of an interface group: a rule may pass over the
    // routes through it, or stop passing them over (suppress_ifgroup). One that
    // went leaves its group, and asks as a lost link.
    const uint32_t group = type == RTM_NEWLINK ? read_link_group(message) : 0;
    const bool regrouped = note_link_group(state.link_groups, link.ifindex, group) && type == RTM_NEWLINK;
    if (type == RTM_NEWLINK && (link.flags & IFF_RUNNING) != 0) {
        // The kernel says a link runs after any change to it (MTU, address, queue):
        // only a link that starts running is news. Routes through it count again
        // where the kernel passed them over while it had no carrier, unannounced.
        news.started = note_link_running(state.running_links, link.ifindex);
    } else {
        note_link_stopped(state.running_links, link.ifindex);
        // A link that stopped or went may take the port with it, and routes too.
        news.lost = link_may_take_routes(type, link.flags, link.change);
        news.deleted = type == RTM_DELLINK;
    }
    if (!news.port_or_gateway && !news.started && !news.lost && !regrouped) return;
    InterfaceName name;
    // A link that went has no name left in the kernel: its message names it.
    if (!read_link_name(message, name)) interface_name(state.names_socket, link.ifindex, name);
    news.name = name;
    Cue cue;
    cue.link = news;
    cue.ask_kernel = news.started || news.lost || regrouped;
    if (news.lost) cue.went.link = link.ifindex;
    reconcile(state, cue);
}

void on_nexthop_message(UplinkState& state, uint16_t type, Bytes message) {
    // An object replaced under a route may be announced only so.
    Cue cue;
    if (type == RTM_DELNEXTHOP) cue.went.nexthop_object = message;
    reconcile(state, cue);
}

void on_neighbour_message(UplinkState& state, uint16_t type, Bytes message) {
    NeighbourMessage neighbour;
    if (read_neighbour_message(message, neighbour) &&
        neighbour_may_rank_routers(type, neighbour, state.failed_neighbours, state.gateway_ifindex,
                                   state.gateway_address)) {
        reconcile(state, {});
    }
}

void on_address_message(UplinkState& state, uint16_t type, Bytes message) {
    AddressMessage address;
    if (!read_address_message(message, address)) return;
    if (address_loss_may_take_routes(type, address)) {
        Cue cue;
        cue.went.link = address.ifindex;
        reconcile(state, cue);
    } else if (address_may_rank_routes(type, address, state.source_rules)) {
        reconcile(state, {});
    }
}

void on_rule_message(UplinkState& state, uint16_t type, Bytes message) {
    RuleMessage rule;
    if (read_rule_message(message, rule)) state.source_rules = source_rules_after(state.source_rules, type, rule);
    // Any rule may change which table the kernel looks in first.
    reconcile(state, {});
}

void on_netconf_message(UplinkState& state, uint16_t type, Bytes message) {
    NetconfMessage netconf;
    if (read_netconf_message(message, netconf) && netconf_may_rank_routes(type, netconf)) reconcile(state, {});
}

}  // namespace

void handle_notifications(UplinkState& state, Bytes datagram) {
    Notification notification{};
    while (next_notification(datagram, notification)) {
        switch (notification.kind) {
            case NotificationKind::route:
                on_route_message(state, notification.type, notification.message);
                break;
            case NotificationKind::link:
                on_link_message(state, notification.type, notification.message);
                break;
            case NotificationKind::neighbour:
                on_neighbour_message(state, notification.type, notification.message);
                break;
            case NotificationKind::nexthop:
                on_nexthop_message(state, notification.type, notification.message);
                break;
            case NotificationKind::rule:
                on_rule_message(state, notification.type, notification.message);
                break;
            case NotificationKind::address:
                on_address_message(state, notification.type, notification.message);
                break;
            case NotificationKind::netconf:
                on_netconf_message(state, notification.type, notification.message);
                break;
        }
    }
}
