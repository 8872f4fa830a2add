#include "netlink/event_monitor.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "daemon/notifications.h"
#include "daemon/refresh.h"
#include "daemon/refresh_request.h"
#include "netlink/monitor_rules.h"
#include "netlink/receive_datagram.h"
#include "netlink/unique_fd.h"

namespace {

// Room for a burst of notifications while a refresh runs jq; the kernel drops
// what does not fit and says so with ENOBUFS.
constexpr int receive_queue_bytes = 4 << 20;
// Stale notifications thrown away before a resynchronising refresh, at most.
constexpr int stale_datagrams_limit = 1 << 16;

enum class Received {
    datagram,  // a notification datagram to handle
    empty,     // nothing to handle
    lost,      // the queue overflowed: notifications were dropped
};

Received receive_notification(int socket_fd, std::byte (&buffer)[monitor_buffer_size], Bytes& datagram) {
    sockaddr_nl sender{};
    const ssize_t received = receive_from(socket_fd, buffer, sizeof buffer, MSG_DONTWAIT, sender);
    if (received < 0) return errno == ENOBUFS ? Received::lost : Received::empty;
    // Only the kernel speaks for links and routes: anything else is dropped unread.
    if (sender.nl_pid != 0) return Received::empty;
    datagram = Bytes{buffer, std::min(static_cast<size_t>(received), sizeof buffer)};
    return Received::datagram;
}

// The kernel's queue overflowed, so some notifications are gone: throw away the
// stale ones still queued, then read the whole state afresh.
void resynchronise(int socket_fd, std::byte (&buffer)[monitor_buffer_size]) {
    std::fputs("Netlink notifications were lost, refreshing the upstream port\n", stderr);
    for (int i = 0; i < stale_datagrams_limit && recv(socket_fd, buffer, sizeof buffer, MSG_DONTWAIT) >= 0; ++i) {
    }
    refresh_upstream_port();
}

// One datagram per wakeup: select() on a queue that still holds one returns at
// once, and a trickle of notifications costs no receive that finds nothing.
void read_notification(int socket_fd, std::byte (&buffer)[monitor_buffer_size]) {
    Bytes datagram;
    switch (receive_notification(socket_fd, buffer, datagram)) {
        case Received::empty:
            return;
        case Received::lost:
            resynchronise(socket_fd, buffer);
            return;
        case Received::datagram:
            handle_notifications(datagram);
            return;
    }
}

void enlarge_receive_queue(int socket_fd) {
    if (setsockopt(socket_fd, SOL_SOCKET, SO_RCVBUFFORCE, &receive_queue_bytes, sizeof receive_queue_bytes) != 0) {
        setsockopt(socket_fd, SOL_SOCKET, SO_RCVBUF, &receive_queue_bytes, sizeof receive_queue_bytes);
    }
}

}  // namespace

int run_netlink_monitor() {
    const UniqueFd socket_fd{socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)};
    if (!socket_fd) {
        std::fputs("Netlink socket creation failed.\n", stderr);
        return -1;
    }
    enlarge_receive_queue(socket_fd.get());
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_pid = static_cast<uint32_t>(getpid());
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV6_ROUTE;
    std::fflush(stdout);
    if (bind(socket_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "Failed to bind netlink socket: %m\n");
        return -1;
    }

    static std::byte buffer[monitor_buffer_size];
    const int request_fd = refresh_request_fd();
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_fd.get(), &readable);
        FD_SET(request_fd, &readable);
        if (select(std::max(socket_fd.get(), request_fd) + 1, &readable, nullptr, nullptr, nullptr) <= 0) continue;
        if (FD_ISSET(socket_fd.get(), &readable)) read_notification(socket_fd.get(), buffer);
        if (FD_ISSET(request_fd, &readable)) {
            refresh_request_take();
            run_requested_refresh();
        }
    }
}
