#include "daemon/uplink_state.h"

#include <cstdio>

void record_upstream_port(UplinkState& state, const char* name, bool written, PortFor chosen_for) {
    std::snprintf(state.upstream_port, sizeof state.upstream_port, "%s", name);
    state.upstream_port_written = written;
    state.port_follows_gateway = chosen_for == PortFor::gateway;
}

void record_gateway(UplinkState& state, int ifindex, const GatewayAddress& via) {
    state.gateway_ifindex = ifindex;
    state.gateway_address = ifindex == -1 ? GatewayAddress{} : via;
}
