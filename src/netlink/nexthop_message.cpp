#include "netlink/nexthop_message.h"

#include <linux/nexthop.h>
#include <linux/rtnetlink.h>

namespace {

constexpr size_t nexthop_fixed_size = netlink_header_size + sizeof(nhmsg);

}  // namespace

bool read_nexthop_object(Bytes message, NexthopObject& object) {
    object = NexthopObject{};
    if (message.size() < nexthop_fixed_size) return false;
    read_nexthop_flags(read_at<nhmsg>(message, netlink_header_size).nh_flags, object.nexthop);
    Bytes attributes = message_attributes(message, nexthop_fixed_size);
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        const size_t size = attribute.payload.size();
        if (attribute.type == NHA_ID && size >= sizeof(uint32_t)) {
            object.id = read_at<uint32_t>(attribute.payload, 0);
        } else if (attribute.type == NHA_OIF && size >= sizeof(uint32_t)) {
            object.nexthop.ifindex = static_cast<int>(read_at<uint32_t>(attribute.payload, 0));
        } else if (attribute.type == NHA_GATEWAY) {
            read_nexthop_gateway(attribute.payload, object.nexthop.gateway);
        } else if (attribute.type == NHA_GROUP) {
            object.group = attribute.payload;
        }
    }
    return true;
}

bool next_group_member(Bytes& rest, uint32_t& id) {
    if (rest.size() < sizeof(nexthop_grp)) return false;
    id = read_at<nexthop_grp>(rest, 0).id;
    rest = rest.subspan(sizeof(nexthop_grp));
    return true;
}
