#include "netlink/neighbour_dump.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>

#include "netlink/kernel_dump.h"

namespace {

struct NeighbourDumpRequest {
    nlmsghdr header;
    ndmsg neighbour;
};
static_assert(sizeof(NeighbourDumpRequest) == 28);

}  // namespace

bool dump_failed_neighbours(RouteLookup& lookup, int socket_fd, std::vector<NeighbourEntry>& failed) {
    NeighbourDumpRequest request{};
    request.neighbour.ndm_family = AF_INET6;
    failed.clear();
    KernelDump dump;
    if (!start_kernel_dump(dump, lookup, socket_fd, request, RTM_GETNEIGH, RTM_NEWNEIGH, "neighbours")) return false;
    NetlinkMessage message;
    NeighbourMessage neighbour;
    while (next_dumped_message(dump, message)) {
        if (!read_neighbour_message(message.bytes, neighbour) || neighbour.family != AF_INET6) continue;
        if ((neighbour.state & NUD_FAILED) != 0) failed.push_back({neighbour.ifindex, neighbour.address});
    }
    if (dump.ended == DumpStep::refused) std::fputs("The kernel refused to list its neighbours\n", stderr);
    std::sort(failed.begin(), failed.end());
    return dump.ended == DumpStep::done;
}
