#include "netlink/notification_walk.h"

#include <linux/rtnetlink.h>

size_t notifications_in(Bytes datagram, Notification (&found)[max_notifications]) {
    size_t count = 0;
    NetlinkMessage message;
    while (count < max_notifications && next_message(datagram, message)) {
        if (message.type == RTM_NEWROUTE || message.type == RTM_DELROUTE) {
            found[count++] = {NotificationKind::route, message.type, message.bytes};
        } else if (message.type == RTM_NEWLINK || message.type == RTM_DELLINK) {
            found[count++] = {NotificationKind::link, message.type, message.bytes};
        } else if (message.type == RTM_NEWNEXTHOP || message.type == RTM_DELNEXTHOP) {
            found[count++] = {NotificationKind::nexthop, message.type, message.bytes};
        } else if (message.type == RTM_NEWNEIGH || message.type == RTM_DELNEIGH) {
            found[count++] = {NotificationKind::neighbour, message.type, message.bytes};
        } else if (message.type == RTM_NEWRULE || message.type == RTM_DELRULE) {
            found[count++] = {NotificationKind::rule, message.type, message.bytes};
        } else if (message.type == RTM_NEWADDR || message.type == RTM_DELADDR) {
            found[count++] = {NotificationKind::address, message.type, message.bytes};
        } else if (message.type == RTM_NEWNETCONF || message.type == RTM_DELNETCONF) {
            found[count++] = {NotificationKind::netconf, message.type, message.bytes};
        }
    }
    return count;
}
