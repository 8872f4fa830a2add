#include "daemon/kernel_gateway.h"

#include "netlink/interface_name.h"
#include "netlink/nexthop_message.h"
#include "netlink/route_lookup.h"

namespace {

// What the nexthops of one route say about one interface, and which comes first.
struct NexthopTally {
    int sought = -1;
    // Choosing a nexthop for traffic: dead ones do not count, and the first named
    // one is found. Otherwise only `sought` is looked for, dead or not.
    bool choosing = true;
    bool holds_sought = false;
    int first_named = -1;  // the first with a gateway and a named interface
};

void count_nexthop(NexthopTally& tally, int ifindex, bool has_gateway, bool dead) {
    if (ifindex <= 0 || !has_gateway || (dead && tally.choosing)) return;
    if (ifindex == tally.sought) tally.holds_sought = true;
    // Once the sought interface is held it is the choice: no name is asked for.
    if (!tally.choosing || tally.holds_sought || tally.first_named != -1) return;
    InterfaceName name;
    if (interface_name(ifindex, name)) tally.first_named = ifindex;
}

void count_object(NexthopTally& tally, Bytes message) {
    NexthopObject object;
    if (read_nexthop_object(message, object)) {
        count_nexthop(tally, object.output_index, object.has_gateway, object.dead);
    }
}

// Counts the nexthops of `route`. Returns false when a nexthop object it names
// could not be asked about.
bool count_route_nexthops(RouteLookup& lookup, int socket_fd, const RouteMessage& route, NexthopTally& tally) {
    // A route over a nexthop object also shows the object's nexthops as its own
    // while the kernel keeps its compatibility view on.
    if (route.output_index > 0 || !route.multipath.empty() || route.nexthop_object == 0) {
        count_nexthop(tally, route.output_index, route.has_gateway, false);
        Bytes rest = route.multipath;
        RouteNexthop nexthop;
        while (next_route_nexthop(rest, nexthop)) count_nexthop(tally, nexthop.ifindex, nexthop.has_gateway, nexthop.dead);
        return true;
    }
    if (socket_fd < 0) return false;
    Bytes message;
    const KernelAnswer answer = lookup_nexthop(lookup, socket_fd, route.nexthop_object, lookup.reply, message);
    if (answer != KernelAnswer::found) return answer == KernelAnswer::refused;
    NexthopObject object;
    if (!read_nexthop_object(message, object)) return true;
    if (object.group.empty()) {
        count_nexthop(tally, object.output_index, object.has_gateway, object.dead);
        return true;
    }
    // A group's members are nexthops of their own, never groups.
    Bytes members = object.group;
    uint32_t id = 0;
    while (next_group_member(members, id)) {
        Bytes member;
        const KernelAnswer found = lookup_nexthop(lookup, socket_fd, id, lookup.member_reply, member);
        if (found == KernelAnswer::failed) return false;
        if (found == KernelAnswer::found) count_object(tally, member);
    }
    return true;
}

}  // namespace

KernelGateway kernel_gateway(UplinkState& state) {
    RouteLookup& lookup = state.route_lookup;
    // Held until the names are looked up too: a decision needs no more sockets at
    // once than the dump did.
    UniqueFd own{-1};
    const int socket_fd = lookup_socket(lookup, own);
    if (socket_fd < 0) return {};
    Bytes reply;
    const KernelAnswer answer = lookup_internet_route(lookup, socket_fd, reply);
    if (answer == KernelAnswer::failed) return {};
    if (answer == KernelAnswer::refused) return {GatewayAnswer::none, -1};
    RouteMessage route;
    if (!read_route_message(reply, route) || route.dst_len != 0) return {};
    NexthopTally tally;
    tally.sought = state.gateway_ifindex;
    if (!count_route_nexthops(lookup, socket_fd, route, tally)) return {};
    const int chosen = tally.holds_sought ? state.gateway_ifindex : tally.first_named;
    if (chosen <= 0) return {GatewayAnswer::none, -1};
    return {GatewayAnswer::chosen, chosen};
}

bool default_route_through(UplinkState& state, const RouteMessage& route, int ifindex) {
    if (ifindex <= 0) return false;
    NexthopTally tally;
    tally.sought = ifindex;
    tally.choosing = false;  // a route that went may have gone with its link
    UniqueFd own{-1};
    const bool names_object = route.output_index <= 0 && route.multipath.empty() && route.nexthop_object != 0;
    const int socket_fd = names_object ? lookup_socket(state.route_lookup, own) : -1;
    count_route_nexthops(state.route_lookup, socket_fd, route, tally);
    return tally.holds_sought;
}
