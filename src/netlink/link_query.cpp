#include "netlink/link_query.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "netlink/interface_name.h"
#include "netlink/link_message.h"
#include "netlink/receive_datagram.h"
#include "netlink/unique_fd.h"

namespace {

struct LinkRequest {
    nlmsghdr header;
    ifinfomsg link;
};
static_assert(sizeof(LinkRequest) == 32);

constexpr size_t reply_buffer_size = 4096;

// One line: what failed, then the system's error text for errno.
int fail(const char* what) {
    std::fprintf(stderr, "%s: %m\n", what);
    return -1;
}

sockaddr_nl kernel_address() {
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    return address;
}

}  // namespace

int link_reply_running(Bytes reply) {
    int running = 0;
    NetlinkMessage message;
    while (next_message(reply, message)) {
        LinkHeader link;
        if (message.type == RTM_NEWLINK && read_link_header(message.bytes, link)) {
            running = (link.flags & IFF_RUNNING) != 0 ? 1 : 0;
        }
    }
    return running;
}

int query_link_running(const char* name) {
    const UniqueFd socket_fd{socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)};
    if (!socket_fd) return fail("Netlink socket create failed");
    // Recent kernels refuse SO_REUSEPORT outside IP sockets; on a netlink socket
    // whose port id the kernel assigns it never did anything, so that refusal is
    // no failure.
    const int reuse = 1;
    if (setsockopt(socket_fd.get(), SOL_SOCKET, SO_REUSEPORT, &reuse, sizeof reuse) != 0 && errno != EOPNOTSUPP) {
        return fail("Netlink set socket option failed");
    }
    sockaddr_nl local = kernel_address();
    if (bind(socket_fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail("Netlink socket bind failed");
    }

    LinkRequest request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP_FILTERED;
    request.link.ifi_family = AF_NETLINK;
    request.link.ifi_index = static_cast<int>(interface_index(socket_fd.get(), name));
    sockaddr_nl kernel = kernel_address();
    iovec vector{&request, sizeof request};
    msghdr header{};
    header.msg_name = &kernel;
    header.msg_namelen = sizeof kernel;
    header.msg_iov = &vector;
    header.msg_iovlen = 1;
    if (sendmsg(socket_fd.get(), &header, 0) < 0) return fail("Error sending interface request to netlink");

    std::byte reply[reply_buffer_size];
    sockaddr_nl sender{};
    ssize_t received;
    do {
        received = receive_from(socket_fd.get(), reply, sizeof reply, 0, sender);
    } while (received >= 0 && sender.nl_pid != 0);  // only the kernel's answer counts
    if (received < 0) return fail("Error receiving message from netlink");
    return link_reply_running(Bytes{reply, std::min(static_cast<size_t>(received), sizeof reply)});
}
