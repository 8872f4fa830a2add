#include "daemon/kernel_gateway.h"

#include <unistd.h>

#include "daemon/route_expiry.h"
#include "netlink/interface_name.h"
#include "netlink/nexthop_message.h"
#include "netlink/route_lookup.h"

namespace {

constexpr int64_t milliseconds_per_second = 1000;

// What the nexthops of one route say about one gateway, and which comes first.
struct NexthopTally {
    int sought_ifindex = -1;
    GatewayAddress sought_gateway;  // unknown: any gateway through that interface
    // Choosing a nexthop for traffic; otherwise only the sought gateway is looked
    // for, dead or not.
    bool choosing = true;
    int names_socket = -1;
    bool holds_sought = false;
    int best_rank = -1;  // of the nexthop chosen so far, in `best`
    RouteNexthop best;
};

void count_nexthop(NexthopTally& tally, const RouteNexthop& nexthop) {
    if (nexthop.ifindex <= 0 || !nexthop.has_gateway()) return;
    const bool same_interface = nexthop.ifindex == tally.sought_ifindex;
    const bool sought = same_interface && (!tally.sought_gateway.known() || nexthop.gateway == tally.sought_gateway);
    if (!tally.choosing) {
        tally.holds_sought = tally.holds_sought || sought;
        return;
    }
    if (nexthop.dead) return;
    // A link with carrier first; then the gateway followed, its interface, any other.
    const int rank = (nexthop.linkdown ? 0 : 3) + (sought ? 2 : same_interface ? 1 : 0);
    if (rank <= tally.best_rank) return;
    // Another interface must have a name to be a port; the recorded one had one.
    InterfaceName name;
    if (!same_interface && !interface_name(tally.names_socket, nexthop.ifindex, name)) return;
    tally.best_rank = rank;
    tally.best = nexthop;
}

// Counts the nexthops of nexthop object `object`: its own, or its group members'.
// Returns false when a member could not be asked about.
bool count_object_nexthops(RouteLookup& lookup, int socket_fd, const NexthopObject& object, NexthopTally& tally) {
    if (object.group.empty()) {
        count_nexthop(tally, object.nexthop);
        return true;
    }
    // A group's members are nexthops of their own, never groups.
    Bytes members = object.group;
    uint32_t id = 0;
    while (next_group_member(members, id)) {
        Bytes message_of_member;
        const KernelAnswer found = lookup_nexthop(lookup, socket_fd, id, lookup.member_reply, message_of_member);
        if (found == KernelAnswer::failed) return false;
        NexthopObject member;
        if (found == KernelAnswer::found && read_nexthop_object(message_of_member, member)) {
            count_nexthop(tally, member.nexthop);
        }
    }
    return true;
}

// Counts the nexthops of `route`. Returns false when a nexthop object it names
// could not be asked about.
bool count_route_nexthops(RouteLookup& lookup, int socket_fd, const RouteMessage& route, NexthopTally& tally) {
    // A route over a nexthop object also shows the object's nexthops as its own
    // while the kernel keeps its compatibility view on.
    if (route.nexthop.ifindex > 0 || !route.multipath.empty() || route.nexthop_object == 0) {
        count_nexthop(tally, route.nexthop);
        Bytes rest = route.multipath;
        RouteNexthop nexthop;
        while (next_route_nexthop(rest, nexthop)) count_nexthop(tally, nexthop);
        return true;
    }
    if (socket_fd < 0) return false;
    Bytes message;
    const KernelAnswer answer = lookup_nexthop(lookup, socket_fd, route.nexthop_object, lookup.reply, message);
    if (answer != KernelAnswer::found) return answer == KernelAnswer::refused;
    NexthopObject object;
    if (!read_nexthop_object(message, object)) return true;
    return count_object_nexthops(lookup, socket_fd, object, tally);
}

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

// A tally that only looks for gateway `via` through interface `ifindex`, among
// dead nexthops too: what went may have gone with its link.
NexthopTally seeking(int ifindex, const GatewayAddress& via) {
    NexthopTally tally;
    tally.sought_ifindex = ifindex;
    tally.sought_gateway = via;
    tally.choosing = false;
    return tally;
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
    if (!count_route_nexthops(lookup, socket_fd, route, tally)) return {};
    if (tally.best_rank < 0) return {GatewayAnswer::none, -1, {}};
    return {GatewayAnswer::chosen, tally.best.ifindex, tally.best.gateway};
}

}  // namespace

KernelGateway kernel_gateway(UplinkState& state) { return kernel_gateway(state, lookup_socket(state.route_lookup)); }

KernelGateway kernel_gateway(UplinkState& state, int socket_fd) {
    int64_t lifetime_ms = 0;
    const KernelGateway found = ask_kernel_gateway(state, socket_fd, lifetime_ms);
    const RouteInUse route{found.answer == GatewayAnswer::chosen, found.ifindex, found.gateway, lifetime_ms};
    arm_route_expiry(state.route_expiry, route, monotonic_ms());
    return found;
}

bool default_route_through(UplinkState& state, const RouteMessage& route, int ifindex, const GatewayAddress& via) {
    if (ifindex <= 0) return false;
    NexthopTally tally = seeking(ifindex, via);
    const bool names_object = route.nexthop.ifindex <= 0 && route.multipath.empty() && route.nexthop_object != 0;
    const int socket_fd = names_object ? lookup_socket(state.route_lookup) : -1;
    count_route_nexthops(state.route_lookup, socket_fd, route, tally);
    return tally.holds_sought;
}

bool nexthop_object_through(UplinkState& state, const NexthopObject& object, int ifindex, const GatewayAddress& via) {
    if (ifindex <= 0) return false;
    NexthopTally tally = seeking(ifindex, via);
    const int socket_fd = object.group.empty() ? -1 : lookup_socket(state.route_lookup);
    count_object_nexthops(state.route_lookup, socket_fd, object, tally);
    return tally.holds_sought;
}
