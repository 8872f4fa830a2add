#include "daemon/uplink_state.h"

#include <cstdio>

void record_upstream_port(UplinkState& state, const char* name, bool written, PortFor chosen_for, int ifindex) {
    std::snprintf(state.upstream_port, sizeof state.upstream_port, "%s", name);
    state.upstream_port_written = written;
    state.port_follows_gateway = chosen_for == PortFor::gateway;
    const unsigned link = ifindex > 0 ? static_cast<unsigned>(ifindex) : interface_index(state.names_socket, name);
    state.port_ifindex = link > 0 ? static_cast<int>(link) : -1;
    schedule_port_retry(state.port_retry, written, monotonic_ms());
}

void record_gateway(UplinkState& state, int ifindex, const char* name, const GatewayAddress& via) {
    state.gateway_ifindex = ifindex;
    state.gateway_address = via;
    std::snprintf(state.gateway_name, sizeof state.gateway_name, "%s", name);
}

void forget_gateway(UplinkState& state) { record_gateway(state, -1, "", {}); }

void read_node_config(UplinkState& state) { load_node_config(state.config, state.config_memory, node_config_path); }
