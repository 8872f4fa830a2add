#include "netlink/route_lookup.h"

#include <linux/netconf.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "netlink/netconf_message.h"
#include "netlink/receive_datagram.h"

namespace {

// The dump's limit, for the same reason: the kernel answers at once or not at all.
constexpr timeval receive_timeout{1, 0};

struct RouteRequest {
    nlmsghdr header;
    rtmsg route;
    rtattr destination_header;
    unsigned char destination[16];
};
static_assert(sizeof(RouteRequest) == 48);

struct NexthopRequest {
    nlmsghdr header;
    nhmsg nexthop;
    rtattr id_header;
    uint32_t id;
};
static_assert(sizeof(NexthopRequest) == 32);

struct NetconfRequest {
    nlmsghdr header;
    netconfmsg netconf;
    unsigned char padding[3];
    rtattr ifindex_header;
    int32_t ifindex;
};
static_assert(sizeof(NetconfRequest) == 28);

// Fills the header of `request` (a record whose first member, `header`, is its
// nlmsghdr) for one request of type `type`, the lookup's next.
template <class Request>
void fill_request_header(Request& request, uint16_t type, RouteLookup& lookup) {
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = ++lookup.sequence;
}

int open_lookup_socket() {
    const int socket_fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (socket_fd < 0) {
        std::fprintf(stderr, "Failed to open a route lookup socket: %m\n");
        return -1;
    }
    setsockopt(socket_fd, SOL_SOCKET, SO_RCVTIMEO, &receive_timeout, sizeof receive_timeout);
    // Dumps filtered by interface need the kernel's strict checking; a kernel
    // without it sends the whole table instead, which the readers still filter.
    const int strict = 1;
    setsockopt(socket_fd, SOL_NETLINK, NETLINK_GET_STRICT_CHK, &strict, sizeof strict);
    return socket_fd;
}

// Sends one request and waits for its reply, stepping over late replies to
// earlier requests.
KernelAnswer ask(int socket_fd, const void* request, size_t size, uint32_t sequence, uint16_t type,
                 HeapBuffer& into, Bytes& answer) {
    if (send(socket_fd, request, size, 0) < 0) {
        std::fprintf(stderr, "Failed to ask the kernel about its routes: %m\n");
        return KernelAnswer::failed;
    }
    for (;;) {
        if (receive_datagram(socket_fd, into) < 0) {
            std::fprintf(stderr, "No answer from the kernel about its routes: %m\n");
            return KernelAnswer::failed;
        }
        const int outcome = read_kernel_reply(into.view(), sequence, type, answer);
        if (outcome > 0) return KernelAnswer::found;
        if (outcome < 0) return KernelAnswer::refused;
    }
}

}  // namespace

int lookup_socket(RouteLookup& lookup) {
    if (lookup.socket_fd < 0) lookup.socket_fd = open_lookup_socket();
    return lookup.socket_fd;
}

int read_kernel_reply(Bytes datagram, uint32_t sequence, uint16_t type, Bytes& answer) {
    NetlinkMessage message;
    while (next_message(datagram, message)) {
        if (message.sequence != sequence || message.cut) continue;
        if (message.type == type) {
            answer = message.bytes;
            return 1;
        }
        if (message.type == NLMSG_ERROR && message.bytes.size() >= netlink_header_size + sizeof(int)) {
            const int error = read_at<int>(message.bytes, netlink_header_size);
            if (error < 0) return error;
        }
    }
    return 0;
}

KernelAnswer lookup_route_to(RouteLookup& lookup, int socket_fd, const unsigned char (&destination)[16], Bytes& route) {
    RouteRequest request{};
    fill_request_header(request, RTM_GETROUTE, lookup);
    request.route.rtm_family = AF_INET6;
    request.route.rtm_dst_len = 128;
    // The route the lookup matched, whole, rather than the one-address clone of it.
    request.route.rtm_flags = RTM_F_FIB_MATCH;
    request.destination_header.rta_len = sizeof request.destination_header + sizeof request.destination;
    request.destination_header.rta_type = RTA_DST;
    std::memcpy(request.destination, destination, sizeof request.destination);
    return ask(socket_fd, &request, sizeof request, request.header.nlmsg_seq, RTM_NEWROUTE, lookup.reply, route);
}

KernelAnswer lookup_nexthop(RouteLookup& lookup, int socket_fd, uint32_t id, HeapBuffer& into, Bytes& object) {
    NexthopRequest request{};
    fill_request_header(request, RTM_GETNEXTHOP, lookup);
    request.id_header.rta_len = sizeof request.id_header + sizeof request.id;
    request.id_header.rta_type = NHA_ID;
    request.id = id;
    return ask(socket_fd, &request, sizeof request, request.header.nlmsg_seq, RTM_NEWNEXTHOP, into, object);
}

KernelAnswer lookup_forwarding(RouteLookup& lookup, int socket_fd, bool& forwards) {
    NetconfRequest request{};
    fill_request_header(request, RTM_GETNETCONF, lookup);
    request.netconf.ncm_family = AF_INET6;
    request.ifindex_header.rta_len = sizeof request.ifindex_header + sizeof request.ifindex;
    request.ifindex_header.rta_type = NETCONFA_IFINDEX;
    request.ifindex = NETCONFA_IFINDEX_ALL;
    Bytes reply;
    const KernelAnswer answer =
        ask(socket_fd, &request, sizeof request, request.header.nlmsg_seq, RTM_NEWNETCONF, lookup.member_reply, reply);
    NetconfMessage netconf;
    forwards = answer == KernelAnswer::found && read_netconf_message(reply, netconf) && netconf.forwards;
    return answer;
}
