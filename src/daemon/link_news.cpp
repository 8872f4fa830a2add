#include "daemon/link_news.h"

#include <cstdio>
#include <cstring>

#include "daemon/pop_uplink.h"
#include "daemon/uplink_rules.h"
#include "daemon/upstream_port.h"

namespace {

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
    write_upstream_port(state, name, chosen_for, ifindex);
}

}  // namespace

bool follow_link_news(UplinkState& state, const LinkNews& news) {
    bool config_read = false;
    if (news.port_or_gateway) follow_renamed_link(state, news.ifindex, news.name);
    if (news.started) {
        // Only a POP's port moves for a link that starts.
        config_read = read_node_config_for(state, state.config.is_pop);
        if (link_takes_uplink(news.name, news.flags, state.config)) move_pop_uplink(state, news.name, 1, news.name);
    }
    if (news.lost) {
        if (news.name[0] != '\0' && std::strcmp(news.name, state.upstream_port) == 0) {
            config_read = read_node_config_for(state, state.config.is_pop) || config_read;
            if (tavro_replaces_lost_uplink(state.config)) replace_lost_pop_uplink(state, news.name);
        }
        // A link that went can no longer be the port's: another may take its index.
        if (news.deleted && news.ifindex == state.port_ifindex) state.port_ifindex = -1;
    }
    return config_read;
}
