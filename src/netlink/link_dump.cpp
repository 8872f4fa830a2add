#include "netlink/link_dump.h"

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstdio>

#include "netlink/link_message.h"
#include "netlink/receive_datagram.h"

namespace {

struct LinkDumpRequest {
    nlmsghdr header;
    ifinfomsg link;
    rtattr mask_header;
    uint32_t mask;
};
static_assert(sizeof(LinkDumpRequest) == 40);

}  // namespace

DumpProgress take_link_dump_datagram(Bytes datagram, uint32_t sequence, HeapBuffer& running) {
    NetlinkMessage message;
    while (next_message(datagram, message)) {
        if (message.sequence != sequence) continue;
        if (message.type == NLMSG_DONE) return DumpProgress::done;
        if (message.type == NLMSG_ERROR) return DumpProgress::failed;
        LinkHeader link;
        if (message.type != RTM_NEWLINK || !read_link_header(message.bytes, link)) continue;
        if ((link.flags & IFF_RUNNING) != 0 && !running.append(&link.ifindex, sizeof link.ifindex)) {
            return DumpProgress::failed;
        }
    }
    return DumpProgress::more;
}

bool dump_running_links(RouteLookup& lookup, int socket_fd, HeapBuffer& running) {
    LinkDumpRequest request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++lookup.sequence;
    request.link.ifi_family = AF_UNSPEC;
    // Only the flags are read: the counters would make each link's reply twice as long.
    request.mask_header.rta_len = sizeof request.mask_header + sizeof request.mask;
    request.mask_header.rta_type = IFLA_EXT_MASK;
    request.mask = RTEXT_FILTER_SKIP_STATS;
    running.used = 0;
    if (send(socket_fd, &request, sizeof request, 0) < 0) {
        std::fprintf(stderr, "Failed to ask the kernel about its links: %m\n");
        return false;
    }
    for (;;) {
        if (receive_datagram(socket_fd, lookup.reply) < 0) {
            std::fprintf(stderr, "No answer from the kernel about its links: %m\n");
            return false;
        }
        switch (take_link_dump_datagram(lookup.reply.view(), request.header.nlmsg_seq, running)) {
            case DumpProgress::more:
                break;
            case DumpProgress::done:
                return true;
            case DumpProgress::failed:
                std::fputs("The kernel refused to list its links\n", stderr);
                return false;
        }
    }
}
