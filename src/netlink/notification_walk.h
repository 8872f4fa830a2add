#pragma once

#include <cstddef>
#include <cstdint>

#include "netlink/message_walk.h"

// The monitor's receive buffer: one route notification fits whole; a link
// notification (about 1.5 KB on current kernels) arrives cut, which is enough,
// since only its fixed header is read.
constexpr size_t monitor_buffer_size = 1040;

enum class NotificationKind { route, link, nexthop, neighbour, rule, address, netconf };

struct Notification {
    NotificationKind kind;
    uint16_t type;
    Bytes message;
};

// The route, link, nexthop-object, neighbour, policy-rule, address and netconf
// messages of one datagram, in order; other types are left out. A datagram of
// `monitor_buffer_size` bytes holds at most this many.
constexpr size_t max_notifications = monitor_buffer_size / netlink_header_size;
size_t notifications_in(Bytes datagram, Notification (&found)[max_notifications]);
