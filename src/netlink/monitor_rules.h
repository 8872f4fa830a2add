#pragma once

#include <cstddef>
#include <cstdint>

#include "daemon/uplink_state.h"
#include "netlink/message_walk.h"

// The monitor's receive buffer: one route notification fits whole; a link
// notification (about 1.5 KB on current kernels) arrives cut, which is enough,
// since only its fixed header is read.
constexpr size_t monitor_buffer_size = 1040;

enum class NotificationKind { route, link };

struct Notification {
    NotificationKind kind;
    uint16_t type;
    Bytes message;
};

// The route and link messages of one datagram, in order; other types are left
// out. A datagram of `monitor_buffer_size` bytes holds at most this many.
constexpr size_t max_notifications = monitor_buffer_size / netlink_header_size;
size_t notifications_in(Bytes datagram, Notification (&found)[max_notifications]);

enum class RouteEvent {
    ignored,          // nothing to do
    gateway_deleted,  // a default route through the recorded interface went away
    new_gateway,      // a default route through another interface appeared
};

// What a route message about the default route through `ifindex` means. Only the
// interface is compared, never the gateway address or the table.
RouteEvent route_event(uint16_t type, int ifindex, int gateway_ifindex);

// The link's index and flags, when the message holds its fixed header.
bool read_link_header(Bytes message, int& ifindex, uint32_t& flags);

// On a POP, a tavro interface or the routed nic interface that comes up running
// becomes the upstream port.
bool link_takes_uplink(const char* name, uint32_t flags, const UplinkState& state);
