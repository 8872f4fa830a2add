#include "daemon/uplink_state.h"

#include <cstdio>

void record_upstream_port(UplinkState& state, const char* name, bool written, PortFor chosen_for, int ifindex) {
    std::snprintf(state.upstream_port, sizeof state.upstream_port, "%s", name);
    state.upstream_port_written = written;
    state.port_follows_gateway = chosen_for == PortFor::gateway;
    state.port_ifindex = state.port_follows_gateway ? ifindex : -1;
    ++state.port_writes;
    schedule_port_retry(state.port_retry, written, monotonic_ms());
}

void record_gateway(UplinkState& state, int ifindex, const char* name, const GatewayAddress& via) {
    state.gateway_ifindex = ifindex;
    state.gateway_address = via;
    std::snprintf(state.gateway_name, sizeof state.gateway_name, "%s", name);
}

void forget_gateway(UplinkState& state) { record_gateway(state, -1, "", {}); }
