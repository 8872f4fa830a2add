// The readers of the kernel's answers to a route lookup, a nexthop request or a
// dump, on any reply: the reply walker, then the route or object it finds with
// its nexthops or members; the dump walker; and the link (with its group),
// neighbour, netconf and rule readers, whose messages come the same way.
#include <linux/rtnetlink.h>

#include <cstdint>
#include <cstdlib>

#include "netlink/kernel_dump.h"
#include "netlink/link_message.h"
#include "netlink/neighbour_message.h"
#include "netlink/netconf_message.h"
#include "netlink/nexthop_message.h"
#include "netlink/route_lookup.h"
#include "netlink/route_message.h"
#include "netlink/rule_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Bytes reply{reinterpret_cast<const std::byte*>(data), size};
    const auto inside = [&reply](Bytes part) {
        return part.empty() || (part.data() >= reply.data() && part.data() + part.size() <= reply.data() + reply.size());
    };
    Bytes answer;
    for (const uint16_t type : {uint16_t{RTM_NEWROUTE}, uint16_t{RTM_NEWNEXTHOP}}) {
        const int outcome = read_kernel_reply(reply, 0, type, answer);
        if (outcome > 0 && !inside(answer)) std::abort();
    }
    RouteMessage route;
    if (read_route_message(reply, route)) {
        if (!inside(route.multipath)) std::abort();
        RouteNexthop nexthop;
        Bytes rest = route.multipath;
        while (next_route_nexthop(rest, nexthop)) {
            if (!inside(rest)) std::abort();
        }
    }
    NexthopObject object;
    if (read_nexthop_object(reply, object)) {
        if (!inside(object.group)) std::abort();
        Bytes members = object.group;
        uint32_t id = 0;
        while (next_group_member(members, id)) {
        }
    }
    Bytes rest = reply;
    NetlinkMessage message;
    int error = 0;
    while (next_dump_step(rest, 0, RTM_NEWLINK, message, error) == DumpStep::message) {
        if (!inside(message.bytes) || message.cut) std::abort();
        LinkHeader link;
        read_link_header(message.bytes, link);
        read_link_group(message.bytes);
    }
    NeighbourMessage neighbour;
    read_neighbour_message(reply, neighbour);
    NetconfMessage netconf;
    read_netconf_message(reply, netconf);
    RuleMessage rule;
    read_rule_message(reply, rule);
    return 0;
}
