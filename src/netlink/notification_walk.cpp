#include "netlink/notification_walk.h"

#include <linux/rtnetlink.h>

#include <algorithm>
#include <iterator>

namespace {

// The message types handed on, a kind's new and deleted ones side by side.
struct KindOfTypes {
    uint16_t added;
    uint16_t deleted;
    // cppcheck-suppress unusedStructMember ; read through the table by kind_of
    NotificationKind kind;
};
constexpr KindOfTypes kinds[] = {
    {RTM_NEWROUTE, RTM_DELROUTE, NotificationKind::route},
    {RTM_NEWLINK, RTM_DELLINK, NotificationKind::link},
    {RTM_NEWNEXTHOP, RTM_DELNEXTHOP, NotificationKind::nexthop},
    {RTM_NEWNEIGH, RTM_DELNEIGH, NotificationKind::neighbour},
    {RTM_NEWRULE, RTM_DELRULE, NotificationKind::rule},
    {RTM_NEWADDR, RTM_DELADDR, NotificationKind::address},
    {RTM_NEWNETCONF, RTM_DELNETCONF, NotificationKind::netconf},
};

bool kind_of(uint16_t type, NotificationKind& kind) {
    const auto* known = std::find_if(std::begin(kinds), std::end(kinds), [type](const KindOfTypes& types) {
        return type == types.added || type == types.deleted;
    });
    if (known == std::end(kinds)) return false;
    kind = known->kind;
    return true;
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
