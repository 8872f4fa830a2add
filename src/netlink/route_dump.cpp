#include "netlink/route_dump.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "netlink/default_route.h"
#include "netlink/heap_buffer.h"
#include "netlink/receive_datagram.h"
#include "netlink/route_message.h"
#include "netlink/unique_fd.h"

namespace {

struct RouteDumpRequest {
    nlmsghdr header;
    rtmsg route;
};
static_assert(sizeof(RouteDumpRequest) == 28);

constexpr timeval receive_timeout{1, 0};

void report_read_failure(const char* first_line) {
    std::fputs(first_line, stderr);
    std::fputs("Read From Socket Failed...\n", stderr);
}

}  // namespace

DumpProgress take_dump_datagram(Bytes datagram, int names_socket, DumpedDefault& best) {
    NetlinkMessage message;
    if (!next_message(datagram, message) || message.cut) return DumpProgress::failed;
    const bool multipart = (message.flags & NLM_F_MULTI) != 0;
    do {
        if (message.type == NLMSG_ERROR) return DumpProgress::failed;
        if (message.type == NLMSG_DONE) return DumpProgress::done;
        if (message.cut) break;
        RouteMessage route;
        if (!read_route_message(message.bytes, route) || route.dst_len != 0 || route.table != RT_TABLE_MAIN) continue;
        if (best.ifindex != -1 && route.metric >= best.metric) continue;
        const int index = parse_default_route(message.bytes, names_socket);
        if (index != -1) best = {index, route.metric};
    } while (next_message(datagram, message));
    return multipart ? DumpProgress::more : DumpProgress::done;
}

int dump_default_routes(DumpedDefault& best) {
    const UniqueFd socket_fd{socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_ROUTE)};
    if (!socket_fd) {
        std::fputs("Socket Error\n", stderr);
        return -1;
    }
    HeapBuffer datagram;
    if (!datagram.reserve(sizeof(RouteDumpRequest))) {
        std::fputs("Error allocating buffer\n", stderr);
        return -1;
    }
    RouteDumpRequest request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_pid = static_cast<uint32_t>(getpid());
    request.route.rtm_family = AF_INET6;
    setsockopt(socket_fd.get(), SOL_SOCKET, SO_RCVTIMEO, &receive_timeout, sizeof receive_timeout);
    if (send(socket_fd.get(), &request, sizeof request, 0) < 0) {
        std::fputs("Write To Socket Failed...\n", stderr);
        return -1;
    }
    for (;;) {
        if (receive_datagram(socket_fd.get(), datagram) < 0) {
            if (errno == ENOMEM) {
                std::fputs("Error allocating buffer\n", stderr);
            } else {
                report_read_failure("SOCK READ Error:\n");
            }
            return -1;
        }
        switch (take_dump_datagram(datagram.view(), socket_fd.get(), best)) {
            case DumpProgress::more:
                break;
            case DumpProgress::done:
                return 0;
            case DumpProgress::failed:
                report_read_failure("Error in received packet\n");
                return -1;
        }
    }
}
