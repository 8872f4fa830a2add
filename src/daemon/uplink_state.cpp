#include "daemon/uplink_state.h"

#include <cstdio>

#include "config/config_reader.h"

void record_gateway(UplinkState& state, int ifindex, const char* name, const GatewayAddress& via) {
    state.gateway_ifindex = ifindex;
    state.gateway_address = via;
    std::snprintf(state.gateway_name, sizeof state.gateway_name, "%s", name);
}

void forget_gateway(UplinkState& state) { record_gateway(state, -1, "", {}); }

void read_node_config(UplinkState& state) { load_node_config(state.config, state.config_memory, node_config_path); }

bool read_node_config_for(UplinkState& state, bool may_move_port) {
    if (!may_move_port && config_still_unclean(state.config_memory, node_config_path)) return false;
    read_node_config(state);
    return true;
}
