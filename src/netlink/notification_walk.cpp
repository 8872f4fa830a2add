#include "netlink/notification_walk.h"

#include <linux/rtnetlink.h>

namespace {

bool kind_of(uint16_t type, NotificationKind& kind) {
    switch (type) {
        case RTM_NEWROUTE:
        case RTM_DELROUTE:
            kind = NotificationKind::route;
            return true;
        case RTM_NEWLINK:
        case RTM_DELLINK:
            kind = NotificationKind::link;
            return true;
        case RTM_NEWNEXTHOP:
        case RTM_DELNEXTHOP:
            kind = NotificationKind::nexthop;
            return true;
        case RTM_NEWNEIGH:
        case RTM_DELNEIGH:
            kind = NotificationKind::neighbour;
            return true;
        case RTM_NEWRULE:
        case RTM_DELRULE:
            kind = NotificationKind::rule;
            return true;
        case RTM_NEWADDR:
        case RTM_DELADDR:
            kind = NotificationKind::address;
            return true;
        case RTM_NEWNETCONF:
        case RTM_DELNETCONF:
            kind = NotificationKind::netconf;
            return true;
        default:
            return false;
    }
}

}  // namespace

bool next_notification(Bytes& rest, Notification& found) {
    NetlinkMessage message;
    while (next_message(rest, message)) {
        NotificationKind kind{};
        if (!kind_of(message.type, kind)) continue;
        found = {kind, message.type, message.bytes};
        return true;
    }
    return false;
}
