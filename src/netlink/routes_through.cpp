#include "netlink/routes_through.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>

#include "netlink/kernel_dump.h"
#include "netlink/route_message.h"

namespace {

struct RouteDumpRequest {
    nlmsghdr header;
    rtmsg route;
};
static_assert(sizeof(RouteDumpRequest) == 28);

struct RoutesThroughRequest {
    nlmsghdr header;
    rtmsg route;
    rtattr oif_header;
    uint32_t oif;
};
static_assert(sizeof(RoutesThroughRequest) == 36);

constexpr std::byte padding[3] = {};

}  // namespace

KernelAnswer dump_default_routes_through(RouteLookup& lookup, int socket_fd, int ifindex, HeapBuffer& routes) {
    RoutesThroughRequest request{};
    request.route.rtm_family = AF_INET6;
    request.oif_header.rta_len = sizeof request.oif_header + sizeof request.oif;
    request.oif_header.rta_type = RTA_OIF;
    request.oif = static_cast<uint32_t>(ifindex);
    routes.used = 0;
    KernelDump dump;
    bool sent = false;
    if (ifindex != 0) {
        sent = start_kernel_dump(dump, lookup, socket_fd, request, RTM_GETROUTE, RTM_NEWROUTE, "routes");
    } else {
        // No interface named: the kernel takes an index of 0 for one it has not.
        RouteDumpRequest whole{request.header, request.route};
        sent = start_kernel_dump(dump, lookup, socket_fd, whole, RTM_GETROUTE, RTM_NEWROUTE, "routes");
    }
    if (!sent) return KernelAnswer::failed;
    NetlinkMessage message;
    RouteMessage route;
    bool kept = true;
    while (next_dumped_message(dump, message)) {
        if (!read_route_message(message.bytes, route) || route.dst_len != 0) continue;
        // Kept as the kernel lays messages out, each from a four-byte boundary.
        const size_t size = message.bytes.size();
        kept = kept && routes.append(message.bytes.data(), size) && routes.append(padding, align4(size) - size);
    }
    if (dump.ended == DumpStep::refused && dump.error == ENODEV) return KernelAnswer::refused;
    if (dump.ended == DumpStep::refused) std::fputs("The kernel refused to list its routes\n", stderr);
    if (!kept) std::fputs("Out of memory for the list of routes\n", stderr);
    return dump.ended == DumpStep::done && kept ? KernelAnswer::found : KernelAnswer::failed;
}
