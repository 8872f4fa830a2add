#include "netlink/route_message.h"

#include <linux/rtnetlink.h>

#include <algorithm>

namespace {

constexpr size_t route_fixed_size = netlink_header_size + sizeof(rtmsg);
constexpr size_t interface_index_size = sizeof(uint32_t);
constexpr size_t ipv6_address_size = 16;

bool is_gateway(const NetlinkAttribute& attribute) {
    return attribute.type == RTA_GATEWAY && attribute.payload.size() >= ipv6_address_size;
}

}  // namespace

bool read_route_message(Bytes message, RouteMessage& route) {
    route = RouteMessage{};
    if (message.size() < route_fixed_size) return false;
    route.dst_len = read_at<rtmsg>(message, netlink_header_size).rtm_dst_len;
    Bytes attributes = message_attributes(message, route_fixed_size);
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        if (attribute.type == RTA_OIF && attribute.payload.size() >= interface_index_size) {
            route.output_index = static_cast<int>(read_at<uint32_t>(attribute.payload, 0));
        } else if (is_gateway(attribute)) {
            route.has_gateway = true;
        } else if (attribute.type == RTA_MULTIPATH) {
            route.multipath = attribute.payload;
        } else if (attribute.type == RTA_NH_ID && attribute.payload.size() >= sizeof(uint32_t)) {
            route.nexthop_object = read_at<uint32_t>(attribute.payload, 0);
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
    nexthop.dead = (header.rtnh_flags & RTNH_F_DEAD) != 0;
    Bytes attributes = rest.subspan(sizeof(rtnexthop), header.rtnh_len - sizeof(rtnexthop));
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        if (is_gateway(attribute)) nexthop.has_gateway = true;
    }
    rest = rest.subspan(std::min(align4(header.rtnh_len), rest.size()));
    return true;
}
