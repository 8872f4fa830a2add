#include "netlink/router_adverts.h"

#include <fcntl.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "netlink/unique_fd.h"

namespace {

constexpr long long milliseconds_per_second = 1000;
// Advertisements taken at one wakeup, at most: a flood of them waits for the next.
constexpr int drain_limit = 64;

}  // namespace

int open_router_advert_socket() {
    UniqueFd socket_fd{socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMPV6)};
    if (!socket_fd) return -1;
    icmp6_filter filter{};
    ICMP6_FILTER_SETBLOCKALL(&filter);
    ICMP6_FILTER_SETPASS(ND_ROUTER_ADVERT, &filter);
    if (setsockopt(socket_fd.get(), IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) != 0) return -1;
    // Only that an advertisement came matters: the smallest queue will do.
    const int queue_bytes = 1;
    setsockopt(socket_fd.get(), SOL_SOCKET, SO_RCVBUF, &queue_bytes, sizeof queue_bytes);
    return socket_fd.release();
}

int drain_router_adverts(int socket_fd) {
    int taken = 0;
    char first_byte;
    // A datagram longer than the byte read is taken whole all the same.
    while (taken < drain_limit && recv(socket_fd, &first_byte, sizeof first_byte, MSG_DONTWAIT) >= 0) ++taken;
    return taken;
}

long long route_collection_interval_ms(const char* path, long long fallback_ms) {
    const UniqueFd file{open(path, O_RDONLY | O_CLOEXEC)};
    if (!file) return fallback_ms;
    char text[32] = {};
    const ssize_t got = read(file.get(), text, sizeof text - 1);
    if (got <= 0) return fallback_ms;
    char* end = nullptr;
    const long long seconds = std::strtoll(text, &end, 10);
    if (end == text || seconds <= 0) return fallback_ms;
    return seconds * milliseconds_per_second;
}
