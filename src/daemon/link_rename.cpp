#include "daemon/link_rename.h"

#include <cstdio>
#include <cstring>

#include "daemon/fastpath.h"
#include "daemon/pop_uplink.h"
#include "daemon/uplink_rules.h"

void follow_renamed_link(UplinkState& state, int ifindex, const char* name) {
    if (name[0] == '\0' || ifindex <= 0) return;
    if (ifindex == state.gateway_ifindex) std::snprintf(state.gateway_name, sizeof state.gateway_name, "%s", name);
    if (ifindex != state.port_ifindex || std::strcmp(name, state.upstream_port) == 0) return;
    if (!state.port_follows_gateway) {
        read_node_config(state);
        if (!name_takes_uplink(name, state.config)) {
            InterfaceName old_name;
            std::snprintf(old_name, sizeof old_name, "%s", state.upstream_port);
            if (tavro_replaces_lost_uplink(state.config)) replace_lost_pop_uplink(state, old_name);
            return;
        }
    }
    std::printf("Updating the upstream port as %s\n", name);
    const PortFor chosen_for = state.port_follows_gateway ? PortFor::gateway : PortFor::pop;
    record_upstream_port(state, name, set_upstream_port(name), chosen_for, ifindex);
}
