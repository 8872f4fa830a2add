#include "netlink/netconf_message.h"

#include <linux/netconf.h>

bool read_netconf_message(Bytes message, NetconfMessage& netconf) {
    constexpr size_t fixed_size = netlink_header_size + align4(sizeof(netconfmsg));
    netconf = NetconfMessage{};
    if (message.size() < netlink_header_size + sizeof(netconfmsg)) return false;
    netconf.family = read_at<netconfmsg>(message, netlink_header_size).ncm_family;
    Bytes attributes = message_attributes(message, fixed_size);
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        if (attribute.type == NETCONFA_IFINDEX) {
            if (attribute.payload.size() >= sizeof(int32_t)) netconf.ifindex = read_at<int32_t>(attribute.payload, 0);
            continue;
        }
        ++netconf.settings;
        if (attribute.type == NETCONFA_FORWARDING && attribute.payload.size() >= sizeof(int32_t)) {
            netconf.forwards = read_at<int32_t>(attribute.payload, 0) != 0;
        }
        netconf.forwarding = netconf.forwarding || attribute.type == NETCONFA_FORWARDING;
        netconf.ignores_linkdown = netconf.ignores_linkdown || attribute.type == NETCONFA_IGNORE_ROUTES_WITH_LINKDOWN;
    }
    return true;
}
