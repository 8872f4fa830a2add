#include "netlink/nexthop_message.h"

#include <linux/nexthop.h>
#include <linux/rtnetlink.h>

namespace {

constexpr size_t nexthop_fixed_size = netlink_header_size + sizeof(nhmsg);
constexpr size_t ipv4_address_size = 4;

}  // namespace

bool read_nexthop_object(Bytes message, NexthopObject& object) {
    object = NexthopObject{};
    if (message.size() < nexthop_fixed_size) return false;
    object.dead = (read_at<nhmsg>(message, netlink_header_size).nh_flags & RTNH_F_DEAD) != 0;
    Bytes attributes = message_attributes(message, nexthop_fixed_size);
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        const size_t size = attribute.payload.size();
        if (attribute.type == NHA_ID && size >= sizeof(uint32_t)) {
            object.id = read_at<uint32_t>(attribute.payload, 0);
        } else if (attribute.type == NHA_OIF && size >= sizeof(uint32_t)) {
            object.output_index = static_cast<int>(read_at<uint32_t>(attribute.payload, 0));
        } else if (attribute.type == NHA_GATEWAY && size >= ipv4_address_size) {
            object.has_gateway = true;
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
