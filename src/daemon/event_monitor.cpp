#include "daemon/event_monitor.h"

#include <sys/select.h>

#include <algorithm>
#include <cstdio>

#include "daemon/notifications.h"
#include "daemon/refresh.h"
#include "daemon/refresh_request.h"
#include "daemon/route_expiry.h"
#include "netlink/notification_socket.h"

namespace {

constexpr int64_t milliseconds_per_second = 1000;
constexpr int64_t microseconds_per_millisecond = 1000;

// One datagram per wakeup: select() on a queue that still holds one returns at
// once, and a trickle of notifications costs no receive that finds nothing.
void read_notification(UplinkState& state, int socket_fd, NotificationBuffer& buffer) {
    Bytes datagram;
    switch (receive_notification(socket_fd, buffer, datagram)) {
        case Received::empty:
            return;
        case Received::lost:
            // Some notifications are gone: the ones still queued are stale, so
            // they go too, and the whole state is read afresh. The notifications
            // it stands for would have flushed a port they moved.
            std::fputs("Netlink notifications were lost, refreshing the upstream port\n", stderr);
            drop_queued_notifications(socket_fd, buffer);
            refresh_upstream_port(state, true);
            return;
        case Received::datagram:
            handle_notifications(state, datagram);
            return;
    }
}

// How long select() may wait: until the route in use runs out of lifetime, or
// for ever (nullptr) when it has none.
timeval* until_route_expiry(const UplinkState& state, timeval& wait) {
    if (state.route_expiry.deadline_ms == 0) return nullptr;  // no clock read on a node without one
    const int64_t left = route_expiry_wait_ms(state.route_expiry, monotonic_ms());
    if (left < 0) return nullptr;
    wait.tv_sec = static_cast<time_t>(left / milliseconds_per_second);
    wait.tv_usec = static_cast<suseconds_t>((left % milliseconds_per_second) * microseconds_per_millisecond);
    return &wait;
}

}  // namespace

void run_netlink_monitor(UplinkState& state, ServiceNotices& notices, int socket_fd) {
    // Ready once the startup refresh has decided, with everything the kernel has
    // said since the socket was bound queued for the loop.
    notify_status(notices, state, true);
    NotificationBuffer buffer;
    const int request_fd = refresh_request_fd();
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_fd, &readable);
        FD_SET(request_fd, &readable);
        timeval wait{};
        const int ready = select(std::max(socket_fd, request_fd) + 1, &readable, nullptr, nullptr,
                                 until_route_expiry(state, wait));
        if (ready < 0) continue;
        if (ready > 0 && FD_ISSET(socket_fd, &readable)) {
            read_notification(state, socket_fd, buffer);
            notify_status(notices, state);
        }
        if (ready > 0 && FD_ISSET(request_fd, &readable)) {
            refresh_request_take();
            notify_reloading(notices);
            run_requested_refresh(state);
            notify_status(notices, state, true);
        }
        if (state.route_expiry.deadline_ms != 0 && route_expiry_due(state.route_expiry, monotonic_ms())) {
            follow_route_expiry(state);
            notify_status(notices, state);
        }
    }
}
