#include "netlink/monitor_rules.h"

#include <linux/rtnetlink.h>
#include <net/if.h>

#include <cstddef>

namespace {

constexpr const char* tavro_prefix = "tavro";
constexpr size_t link_flags_end = netlink_header_size + offsetof(ifinfomsg, ifi_change);

}  // namespace

size_t notifications_in(Bytes datagram, Notification (&found)[max_notifications]) {
    size_t count = 0;
    NetlinkMessage message;
    while (count < max_notifications && next_message(datagram, message)) {
        if (message.type == RTM_NEWROUTE || message.type == RTM_DELROUTE) {
            found[count++] = {NotificationKind::route, message.type, message.bytes};
        } else if (message.type == RTM_NEWLINK) {
            found[count++] = {NotificationKind::link, message.type, message.bytes};
        }
    }
    return count;
}

RouteEvent route_event(uint16_t type, int ifindex, int gateway_ifindex) {
    if (ifindex == gateway_ifindex) return type == RTM_DELROUTE ? RouteEvent::gateway_deleted : RouteEvent::ignored;
    return type == RTM_NEWROUTE ? RouteEvent::new_gateway : RouteEvent::ignored;
}

bool read_link_header(Bytes message, int& ifindex, uint32_t& flags) {
    if (message.size() < link_flags_end) return false;
    ifindex = read_at<int32_t>(message, netlink_header_size + offsetof(ifinfomsg, ifi_index));
    flags = read_at<uint32_t>(message, netlink_header_size + offsetof(ifinfomsg, ifi_flags));
    return true;
}

bool link_takes_uplink(const char* name, uint32_t flags, const UplinkState& state) {
    if ((flags & IFF_RUNNING) == 0 || !state.is_pop) return false;
    return name_begins_with(name, tavro_prefix) ||
           (routed_nic_usable(state) && name_begins_with(name, state.routed_nic));
}
