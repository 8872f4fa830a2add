#include "daemon/event_monitor.h"

#include <sys/select.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <numeric>

#include "daemon/notifications.h"
#include "daemon/reconciliation.h"
#include "daemon/refresh.h"
#include "daemon/refresh_request.h"
#include "daemon/route_expiry.h"
#include "daemon/upstream_port.h"
#include "netlink/notification_socket.h"
#include "netlink/router_adverts.h"

namespace {

constexpr int64_t milliseconds_per_second = 1000;
constexpr int64_t microseconds_per_millisecond = 1000;
// A router advertisement reaches the daemon's socket before the kernel has
// finished with it: the kernel is asked at once, and again this much later.
constexpr int64_t advert_recheck_delay_ms = 5;

// One datagram per wakeup: select() on a queue that still holds one returns at
// once, and a trickle of notifications costs no receive that finds nothing.
void read_notification(UplinkState& state, int socket_fd, HeapBuffer& buffer) {
    Bytes datagram;
    switch (receive_notification(socket_fd, buffer, datagram)) {
        case Received::empty:
            return;
        case Received::lost:
            // Some notifications are gone: the ones still queued are stale, so
            // they go too, and the whole state is read afresh. The notifications
            // it stands for would have flushed a port they moved.
            std::fputs("Netlink notifications were lost, refreshing the upstream port\n", stderr);
            drop_queued_notifications(socket_fd);
            refresh_upstream_port(state, true);
            return;
        case Received::datagram:
            handle_notifications(state, datagram);
            return;
    }
}

// The earliest of the daemon's deadlines (0 standing for none): the end of the
// route in use, the second look after an advertisement, a port written again,
// the watchdog's next word.
int64_t next_deadline(const UplinkState& state, const ServiceNotices& notices) {
    const int64_t deadlines[] = {state.route_expiry.deadline_ms, state.advert_recheck_ms, state.port_retry.due_ms,
                                 notices.watchdog_every_ms != 0 ? notices.watchdog_due_ms : 0};
    return std::accumulate(std::begin(deadlines), std::end(deadlines), int64_t{0}, [](int64_t next, int64_t deadline) {
        return next == 0 ? deadline : deadline == 0 ? next : std::min(next, deadline);
    });
}

// How long select() may wait: until the next deadline, or for ever (nullptr)
// when there is none.
timeval* until_next_deadline(const UplinkState& state, const ServiceNotices& notices, timeval& wait) {
    const int64_t deadline = next_deadline(state, notices);
    if (deadline == 0) return nullptr;  // no clock read on a node without one
    const int64_t left = std::max<int64_t>(deadline - monotonic_ms(), 0);
    wait.tv_sec = static_cast<time_t>(left / milliseconds_per_second);
    wait.tv_usec = static_cast<suseconds_t>((left % milliseconds_per_second) * microseconds_per_millisecond);
    return &wait;
}

// Whatever of the deadlines has come. The kernel changes its choice unannounced
// when the route in use runs out of lifetime, and after a router advertisement.
// The watchdog hears from the loop itself: a loop that is stuck says nothing.
void follow_deadlines(UplinkState& state, ServiceNotices& notices) {
    if (next_deadline(state, notices) == 0) return;
    const int64_t now = monotonic_ms();
    feed_watchdog(notices, now);
    if (state.route_expiry.deadline_ms != 0 && route_expiry_due(state.route_expiry, now)) {
        reconcile(state, {});
        notify_status(notices, state);
    }
    if (state.advert_recheck_ms != 0 && now >= state.advert_recheck_ms) {
        state.advert_recheck_ms = 0;
        reconcile(state, advert_cue());
        notify_status(notices, state);
    }
    if (state.port_retry.due_ms != 0 && now >= state.port_retry.due_ms) {
        write_port_again(state);
        std::fflush(stdout);
        notify_status(notices, state);
    }
}

}  // namespace

void run_netlink_monitor(UplinkState& state, ServiceNotices& notices, int socket_fd, int adverts_fd) {
    // Ready once the startup refresh has decided, with everything the kernel has
    // said since the socket was bound queued for the loop.
    notify_status(notices, state, true);
    feed_watchdog(notices, monotonic_ms());
    HeapBuffer buffer;
    const int request_fd = refresh_request_fd();
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_fd, &readable);
        FD_SET(request_fd, &readable);
        if (adverts_fd >= 0) FD_SET(adverts_fd, &readable);
        timeval wait{};
        const int ready = select(std::max({socket_fd, request_fd, adverts_fd}) + 1, &readable, nullptr, nullptr,
                                 until_next_deadline(state, notices, wait));
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
        if (ready > 0 && adverts_fd >= 0 && FD_ISSET(adverts_fd, &readable) && drain_router_adverts(adverts_fd) > 0) {
            // An advertisement may shorten or revive a route, unannounced.
            reconcile(state, advert_cue());
            state.advert_recheck_ms = monotonic_ms() + advert_recheck_delay_ms;
            notify_status(notices, state);
        }
        follow_deadlines(state, notices);
    }
}
