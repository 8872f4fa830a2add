#include "daemon/nexthop_tally.h"

#include "netlink/interface_name.h"

namespace {

// How the kernel treats a nexthop, worst first; each health spans the three
// ranks of the gateway sought, its interface and any other.
constexpr int failed_health = 0;
constexpr int linkdown_health = 1;
constexpr int live_health = 2;
constexpr int ranks_per_health = 3;

int health_of(const NexthopTally& tally, const RouteNexthop& nexthop, bool of_object) {
    const bool failed = tally.failed != nullptr && (of_object || !tally.node_forwards) &&
                        neighbour_known_failed(*tally.failed, {nexthop.ifindex, nexthop.gateway});
    if (failed) return failed_health;
    return nexthop.linkdown ? linkdown_health : live_health;
}

void count_nexthop(NexthopTally& tally, const RouteNexthop& nexthop, bool of_object) {
    if (nexthop.ifindex <= 0 || !nexthop.has_gateway()) return;
    const bool same_interface = nexthop.ifindex == tally.sought_ifindex;
    const bool sought = same_interface && (!tally.sought_gateway.known() || nexthop.gateway == tally.sought_gateway);
    if (!tally.choosing) {
        tally.holds_sought = tally.holds_sought || sought;
        return;
    }
    if (nexthop.dead) return;
    // A nexthop that gets flows first, then one without carrier; then the gateway
    // followed, its interface, any other.
    const int rank = health_of(tally, nexthop, of_object) * ranks_per_health + (sought ? 2 : same_interface ? 1 : 0);
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
        count_nexthop(tally, object.nexthop, true);
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
            count_nexthop(tally, member.nexthop, true);
        }
    }
    return true;
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

}  // namespace

bool count_route_nexthops(RouteLookup& lookup, int socket_fd, const RouteMessage& route, NexthopTally& tally) {
    // A route over a nexthop object also shows the object's nexthops as its own
    // while the kernel keeps its compatibility view on.
    if (route.nexthop.ifindex > 0 || !route.multipath.empty() || route.nexthop_object == 0) {
        const bool of_object = route.nexthop_object != 0;
        count_nexthop(tally, route.nexthop, of_object);
        Bytes rest = route.multipath;
        RouteNexthop nexthop;
        while (next_route_nexthop(rest, nexthop)) count_nexthop(tally, nexthop, of_object);
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

bool tally_chose_live(const NexthopTally& tally) { return tally.best_rank >= linkdown_health * ranks_per_health; }

bool members_weighed_by_forwarding(const RouteMessage& route) {
    return route.nexthop_object == 0 && !route.multipath.empty();
}

bool default_route_through(RouteLookup& lookup, const RouteMessage& route, int ifindex, const GatewayAddress& via) {
    if (ifindex <= 0) return false;
    NexthopTally tally = seeking(ifindex, via);
    const bool names_object = route.nexthop.ifindex <= 0 && route.multipath.empty() && route.nexthop_object != 0;
    const int socket_fd = names_object ? lookup_socket(lookup) : -1;
    count_route_nexthops(lookup, socket_fd, route, tally);
    return tally.holds_sought;
}

bool nexthop_object_through(RouteLookup& lookup, const NexthopObject& object, int ifindex, const GatewayAddress& via) {
    if (ifindex <= 0) return false;
    NexthopTally tally = seeking(ifindex, via);
    const int socket_fd = object.group.empty() ? -1 : lookup_socket(lookup);
    count_object_nexthops(lookup, socket_fd, object, tally);
    return tally.holds_sought;
}
