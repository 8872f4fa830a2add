#include "netlink/route_message.h"

#include <linux/rtnetlink.h>

#include <algorithm>
#include <cstddef>

namespace {

constexpr size_t route_fixed_size = netlink_header_size + sizeof(rtmsg);

bool read_u32(const NetlinkAttribute& attribute, uint32_t& value) {
    if (attribute.payload.size() < sizeof value) return false;
    value = read_at<uint32_t>(attribute.payload, 0);
    return true;
}

}  // namespace

void read_nexthop_flags(uint32_t flags, RouteNexthop& nexthop) {
    nexthop.dead = (flags & RTNH_F_DEAD) != 0;
    nexthop.linkdown = (flags & RTNH_F_LINKDOWN) != 0;
}

bool read_route_message(Bytes message, RouteMessage& route) {
    route = RouteMessage{};
    if (message.size() < route_fixed_size) return false;
    const auto header = read_at<rtmsg>(message, netlink_header_size);
    route.dst_len = header.rtm_dst_len;
    route.table = header.rtm_table;
    read_nexthop_flags(header.rtm_flags, route.nexthop);
    Bytes attributes = message_attributes(message, route_fixed_size);
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        uint32_t value = 0;
        switch (attribute.type) {
            case RTA_OIF:
                if (read_u32(attribute, value)) route.nexthop.ifindex = static_cast<int>(value);
                break;
            case RTA_GATEWAY:
                read_gateway_address(attribute.payload, route.nexthop.gateway);
                break;
            case RTA_MULTIPATH:
                route.multipath = attribute.payload;
                break;
            case RTA_NH_ID:
                read_u32(attribute, route.nexthop_object);
                break;
            case RTA_TABLE:
                read_u32(attribute, route.table);
                break;
            case RTA_PRIORITY:
                read_u32(attribute, route.metric);
                break;
            case RTA_CACHEINFO:
                // The kernel gives a lifetime already run out as a negative count.
                if (attribute.payload.size() >= sizeof(rta_cacheinfo)) {
                    route.expires_ticks =
                        static_cast<int32_t>(read_at<rta_cacheinfo>(attribute.payload, 0).rta_expires);
                }
                break;
            default:
                break;
        }
    }
    return true;
}

bool next_route_nexthop(Bytes& rest, RouteNexthop& nexthop) {
    if (rest.size() < sizeof(rtnexthop)) return false;
    const auto header = read_at<rtnexthop>(rest, 0);
    if (header.rtnh_len < sizeof(rtnexthop) || header.rtnh_len > rest.size()) {
        rest = {};
        return false;
    }
    nexthop = RouteNexthop{};
    nexthop.ifindex = header.rtnh_ifindex;
    read_nexthop_flags(header.rtnh_flags, nexthop);
    Bytes attributes = rest.subspan(sizeof(rtnexthop), header.rtnh_len - sizeof(rtnexthop));
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        if (attribute.type == RTA_GATEWAY) read_gateway_address(attribute.payload, nexthop.gateway);
    }
    rest = rest.subspan(std::min(align4(header.rtnh_len), rest.size()));
    return true;
}
