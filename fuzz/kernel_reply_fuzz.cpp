// The readers of the kernel's answers to a route lookup or a nexthop request, on
// any reply: the reply walker, then the route or object it finds with its
// nexthops or members.
#include <linux/rtnetlink.h>

#include <cstdint>
#include <cstdlib>

#include "netlink/nexthop_message.h"
#include "netlink/route_lookup.h"
#include "netlink/route_message.h"

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
    return 0;
}
