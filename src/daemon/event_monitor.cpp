#include "daemon/event_monitor.h"

#include <sys/select.h>

#include <algorithm>
#include <cstdio>

#include "daemon/notifications.h"
#include "daemon/refresh.h"
#include "daemon/refresh_request.h"
#include "netlink/notification_socket.h"
#include "netlink/route_lookup.h"
#include "netlink/unique_fd.h"

namespace {

// One datagram per wakeup: select() on a queue that still holds one returns at
// once, and a trickle of notifications costs no receive that finds nothing.
void read_notification(UplinkState& state, int socket_fd, NotificationBuffer& buffer) {
    Bytes datagram;
    switch (receive_notification(socket_fd, buffer, datagram)) {
        case Received::empty:
            return;
        case Received::lost:
            // Some notifications are gone: the ones still queued are stale, so
            // they go too, and the whole state is read afresh.
            std::fputs("Netlink notifications were lost, refreshing the upstream port\n", stderr);
            drop_queued_notifications(socket_fd, buffer);
            refresh_upstream_port(state);
            return;
        case Received::datagram:
            handle_notifications(state, datagram);
            return;
    }
}

}  // namespace

int run_netlink_monitor(UplinkState& state, ServiceNotices& notices) {
    const UniqueFd socket_fd{open_notification_socket()};
    if (!socket_fd) return -1;
    // The process id is taken as a port id now, so a socket for route lookups can
    // be kept without taking it from the monitor.
    state.route_lookup.keep = true;
    UniqueFd unused{-1};
    lookup_socket(state.route_lookup, unused);
    // Ready once the startup refresh has decided and nothing the kernel says from
    // now on can be missed.
    notify_status(notices, state, true);

    NotificationBuffer buffer;
    const int request_fd = refresh_request_fd();
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_fd.get(), &readable);
        FD_SET(request_fd, &readable);
        if (select(std::max(socket_fd.get(), request_fd) + 1, &readable, nullptr, nullptr, nullptr) <= 0) continue;
        if (FD_ISSET(socket_fd.get(), &readable)) {
            read_notification(state, socket_fd.get(), buffer);
            notify_status(notices, state);
        }
        if (FD_ISSET(request_fd, &readable)) {
            refresh_request_take();
            notify_reloading(notices);
            run_requested_refresh(state);
            notify_status(notices, state, true);
        }
    }
}
