#include "netlink/notification_socket.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

#include "netlink/receive_datagram.h"
#include "netlink/unique_fd.h"

namespace {

// Room for a burst of notifications while a refresh runs jq; the kernel drops
// what does not fit and says so with ENOBUFS.
constexpr int receive_queue_bytes = 4 << 20;
// Groups without a legacy RTMGRP_ mask: group n is bit n - 1.
constexpr uint32_t group_mask(unsigned group) { return 1U << (group - 1); }
// Links, IPv6 routes, nexthop objects, and what else changes the route the kernel
// uses without a route notification: neighbours (router reachability), IPv6
// policy rules, IPv6 addresses (a link that loses IPv6 loses them all, and may
// lose its routes without a word) and IPv6 netconf (forwarding, and whether
// routes without carrier are ignored).
constexpr uint32_t subscribed_groups = RTMGRP_LINK | RTMGRP_NEIGH | RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE |
                                       group_mask(RTNLGRP_IPV6_RULE) | group_mask(RTNLGRP_IPV6_NETCONF) |
                                       group_mask(RTNLGRP_NEXTHOP);
// The longest notification the kernel makes: a route's attributes, its multipath
// list the longest, each have a 16-bit length.
constexpr size_t notification_bytes = size_t{72} << 10;
// Stale notifications thrown away after a loss, at most.
constexpr int stale_datagrams_limit = 1 << 16;

void enlarge_receive_queue(int socket_fd) {
    if (setsockopt(socket_fd, SOL_SOCKET, SO_RCVBUFFORCE, &receive_queue_bytes, sizeof receive_queue_bytes) != 0) {
        setsockopt(socket_fd, SOL_SOCKET, SO_RCVBUF, &receive_queue_bytes, sizeof receive_queue_bytes);
    }
}

}  // namespace

int open_notification_socket() {
    UniqueFd socket_fd{socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)};
    if (!socket_fd) {
        std::fputs("Netlink socket creation failed.\n", stderr);
        return -1;
    }
    enlarge_receive_queue(socket_fd.get());
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_pid = static_cast<uint32_t>(getpid());
    address.nl_groups = subscribed_groups;
    std::fflush(stdout);
    if (bind(socket_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "Failed to bind netlink socket: %m\n");
        return -1;
    }
    return socket_fd.release();
}

Received receive_notification(int socket_fd, HeapBuffer& buffer, Bytes& datagram) {
    sockaddr_nl sender{};
    // One receive a notification: the buffer already holds the longest the kernel
    // makes, or has grown to the longest seen.
    if (!buffer.reserve(notification_bytes)) {
        std::fputs("Out of memory for notifications\n", stderr);
        return Received::empty;
    }
    const ssize_t received = receive_from(socket_fd, buffer.data, buffer.capacity, MSG_DONTWAIT | MSG_TRUNC, sender);
    if (received < 0) return errno == ENOBUFS ? Received::lost : Received::empty;
    // Only the kernel speaks for links and routes: anything else is dropped unread.
    if (sender.nl_pid != 0) return Received::empty;
    const auto size = static_cast<size_t>(received);
    if (size > buffer.capacity) {
        // Longer than any the kernel was known to make: cut, so as good as lost.
        // The next one that long is taken whole.
        buffer.reserve(size);
        return Received::lost;
    }
    buffer.used = size;
    datagram = buffer.view();
    return Received::datagram;
}

void drop_queued_notifications(int socket_fd) {
    std::byte first;
    for (int i = 0; i < stale_datagrams_limit && recv(socket_fd, &first, sizeof first, MSG_DONTWAIT) >= 0; ++i) {
    }
}
