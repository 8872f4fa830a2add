#include "netlink/link_dump.h"

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <cstdio>

#include "netlink/kernel_dump.h"
#include "netlink/link_message.h"

namespace {

struct LinkDumpRequest {
    nlmsghdr header;
    ifinfomsg link;
    rtattr mask_header;
    uint32_t mask;
};
static_assert(sizeof(LinkDumpRequest) == 40);

}  // namespace

bool dump_links(RouteLookup& lookup, int socket_fd, HeapBuffer& running, HeapBuffer& grouped) {
    LinkDumpRequest request{};
    request.link.ifi_family = AF_UNSPEC;
    // Only the flags are read: the counters would make each link's reply twice as long.
    request.mask_header.rta_len = sizeof request.mask_header + sizeof request.mask;
    request.mask_header.rta_type = IFLA_EXT_MASK;
    request.mask = RTEXT_FILTER_SKIP_STATS;
    running.used = 0;
    grouped.used = 0;
    KernelDump dump;
    if (!start_kernel_dump(dump, lookup, socket_fd, request, RTM_GETLINK, RTM_NEWLINK, "links")) return false;
    NetlinkMessage message;
    while (next_dumped_message(dump, message)) {
        LinkHeader link;
        if (!read_link_header(message.bytes, link)) continue;
        const GroupedLink in_group{link.ifindex, read_link_group(message.bytes)};
        const bool kept = ((link.flags & IFF_RUNNING) == 0 || running.append(&link.ifindex, sizeof link.ifindex)) &&
                          (in_group.group == 0 || grouped.append(&in_group, sizeof in_group));
        if (!kept) {
            std::fputs("Out of memory for the list of links\n", stderr);
            return false;
        }
    }
    if (dump.ended == DumpStep::refused) std::fputs("The kernel refused to list its links\n", stderr);
    return dump.ended == DumpStep::done;
}
