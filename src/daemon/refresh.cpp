#include "daemon/refresh.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "config/node_config.h"
#include "daemon/fastpath.h"
#include "daemon/kernel_gateway.h"
#include "daemon/pop_uplink.h"
#include "daemon/running_links.h"
#include "netlink/heap_buffer.h"
#include "netlink/interface_name.h"
#include "netlink/link_dump.h"
#include "netlink/neighbour_dump.h"
#include "netlink/route_dump.h"

namespace {

// A refresh's report of the default route through interface `index`, by gateway
// `via`: it becomes the recorded gateway and, on a node that is not a POP, the
// port, after a flush with `flush_moves` when the port moves.
void take_gateway(UplinkState& state, int index, const GatewayAddress& via, bool flush_moves) {
    InterfaceName name;
    // The interface may have gone since the kernel named it: then there is nothing to point at.
    if (!interface_name(state.names_socket, index, name)) return;
    std::printf("Gateway dev is %s\n", name);
    if (!state.config.is_pop) {
        if (flush_moves && state.upstream_port[0] != '\0' && std::strcmp(name, state.upstream_port) != 0) {
            std::fputs("Detected gateway change, flushing the fastpath entry\n", stdout);
            flush_fastpath();
        }
        std::printf("Updating the upstream port as %s\n", name);
        record_upstream_port(state, name, set_upstream_port(name), PortFor::gateway, index);
    }
    record_gateway(state, index, name, via);
}

// The links that run now and the neighbour entries that have failed, from dumps
// on the lookup socket `socket_fd`. Without one or a dump, what was known stays:
// the messages since say the rest.
void refresh_links_and_neighbours(UplinkState& state, int socket_fd) {
    if (socket_fd < 0) return;
    HeapBuffer running;
    if (dump_running_links(state.route_lookup, socket_fd, running)) {
        replace_running_links(state.running_links, running.view());
    }
    std::vector<NeighbourEntry> failed;
    if (dump_failed_neighbours(state.route_lookup, socket_fd, failed)) state.failed_neighbours.entries.swap(failed);
}

}  // namespace

void scan_default_routes(UplinkState& state, bool flush_moves) {
    DumpedDefault best;
    if (dump_default_routes(best) == 0 && best.ifindex != -1) take_gateway(state, best.ifindex, {}, flush_moves);
    std::fflush(stdout);
}

void refresh_gateway(UplinkState& state, int socket_fd, bool flush_moves) {
    const KernelGateway kernel = kernel_gateway(state, socket_fd);
    if (kernel.answer == GatewayAnswer::unknown) {
        scan_default_routes(state, flush_moves);
        return;
    }
    if (kernel.answer == GatewayAnswer::chosen) take_gateway(state, kernel.ifindex, kernel.gateway, flush_moves);
    std::fflush(stdout);
}

void refresh_upstream_port(UplinkState& state, bool flush_moves) {
    // A refresh always asks jq: it is the operator's way to force a fresh read.
    reload_node_config(state.config, state.config_memory, node_config_path);
    // Which links run and which neighbours failed first: a change after the dumps
    // is told by its own notification, queued behind this refresh, and asks the
    // kernel again.
    const int socket_fd = lookup_socket(state.route_lookup);
    refresh_links_and_neighbours(state, socket_fd);
    refresh_gateway(state, socket_fd, flush_moves);
    // Whether or not the gateway was found.
    if (state.config.is_pop) select_pop_uplink(state, flush_moves);
    std::fflush(stdout);
}

void run_requested_refresh(UplinkState& state) {
    std::fputs("Received SIGUSR1 signal from meshwarden. Updating the upstream port..\n", stdout);
    refresh_upstream_port(state, false);
}
