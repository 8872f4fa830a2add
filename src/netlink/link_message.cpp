#include "netlink/link_message.h"

#include <linux/rtnetlink.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t link_flags_end = netlink_header_size + offsetof(ifinfomsg, ifi_change);
constexpr size_t link_fixed_size = netlink_header_size + sizeof(ifinfomsg);

}  // namespace

bool read_link_header(Bytes message, LinkHeader& link) {
    link = LinkHeader{};
    if (message.size() < link_flags_end) return false;
    const size_t at = netlink_header_size;
    link.family = read_at<uint8_t>(message, at + offsetof(ifinfomsg, ifi_family));
    link.ifindex = read_at<int32_t>(message, at + offsetof(ifinfomsg, ifi_index));
    link.flags = read_at<uint32_t>(message, at + offsetof(ifinfomsg, ifi_flags));
    if (message.size() >= link_fixed_size) link.change = read_at<uint32_t>(message, at + offsetof(ifinfomsg, ifi_change));
    return true;
}

bool read_link_name(Bytes message, InterfaceName& name) {
    std::memset(name, 0, sizeof name);
    Bytes attributes = message_attributes(message, link_fixed_size);
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        if (attribute.type != IFLA_IFNAME) continue;
        // The kernel ends the name with a NUL; a name without one is cut to fit.
        const int length = static_cast<int>(std::min(attribute.payload.size(), sizeof name - 1));
        std::snprintf(name, sizeof name, "%.*s", length, reinterpret_cast<const char*>(attribute.payload.data()));
        return name[0] != '\0';
    }
    return false;
}

uint32_t read_link_group(Bytes message) {
    Bytes attributes = message_attributes(message, link_fixed_size);
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        if (attribute.type == IFLA_GROUP && attribute.payload.size() >= sizeof(uint32_t)) {
            return read_at<uint32_t>(attribute.payload, 0);
        }
    }
    return 0;
}
