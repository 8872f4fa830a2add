#pragma once

#include <cstddef>
#include <cstdint>

#include "netlink/message_walk.h"

enum class NotificationKind { route, link, nexthop, neighbour, rule, address, netconf };

struct Notification {
    NotificationKind kind;
    uint16_t type;
    Bytes message;
};

// Takes the next route, link, nexthop-object, neighbour, policy-rule, address or
// netconf message off the front of `rest` (a notification datagram), stepping
// over other types. Returns false when none is left; a datagram holds any number.
bool next_notification(Bytes& rest, Notification& found);
