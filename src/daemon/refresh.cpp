#include "daemon/refresh.h"

#include <cstdio>

#include "config/node_config.h"
#include "daemon/fastpath.h"
#include "daemon/kernel_gateway.h"
#include "daemon/pop_uplink.h"
#include "netlink/interface_name.h"
#include "netlink/route_dump.h"

namespace {

// A refresh's report of one default route through interface `index`: it becomes
// the recorded gateway and, on a node that is not a POP, the port.
void take_gateway(UplinkState& state, int index) {
    InterfaceName name;
    // The interface may have gone since the kernel named it: then there is nothing to point at.
    if (!interface_name(index, name)) return;
    std::printf("Gateway dev is %s\n", name);
    if (!state.config.is_pop) {
        std::printf("Updating the upstream port as %s\n", name);
        record_upstream_port(state, name, set_upstream_port(name));
    }
    state.gateway_ifindex = index;
}

}  // namespace

void scan_default_routes(UplinkState& state) {
    HeapBuffer defaults;
    if (dump_default_routes(defaults) == 0) {
        const auto found = defaults.view();
        for (size_t offset = 0; offset + sizeof(int) <= found.size(); offset += sizeof(int)) {
            take_gateway(state, read_at<int>(found, offset));
        }
    }
    std::fflush(stdout);
}

void refresh_gateway(UplinkState& state) {
    const KernelGateway kernel = kernel_gateway(state);
    if (kernel.answer == GatewayAnswer::unknown) {
        scan_default_routes(state);
        return;
    }
    if (kernel.answer == GatewayAnswer::chosen) take_gateway(state, kernel.ifindex);
    std::fflush(stdout);
}

void refresh_upstream_port(UplinkState& state) {
    // A refresh always asks jq: it is the operator's way to force a fresh read.
    reload_node_config(state.config, state.config_memory, node_config_path);
    refresh_gateway(state);
    // Whether or not the gateway was found.
    if (state.config.is_pop) select_pop_uplink(state);
    std::fflush(stdout);
}

void run_requested_refresh(UplinkState& state) {
    std::fputs("Received SIGUSR1 signal from meshwarden. Updating the upstream port..\n", stdout);
    refresh_upstream_port(state);
}
