#include "daemon/pop_uplink.h"

#include <cstdio>
#include <cstring>

#include "daemon/fastpath.h"
#include "daemon/uplink_rules.h"
#include "daemon/upstream_port.h"
#include "netlink/link_query.h"

namespace {

constexpr int tavro_count = 16;

void take_for_refresh(UplinkState& state, const char* candidate, bool flush_moves) {
    if (flush_moves && state.upstream_port[0] != '\0' && std::strcmp(candidate, state.upstream_port) != 0) {
        std::fputs("Detected link state change, flushing the fastpath entry\n", stdout);
        flush_fastpath();
    }
    std::printf("Updating the upstream port as %s\n", candidate);
    write_upstream_port(state, candidate, PortFor::pop);
}

}  // namespace

bool first_running_tavro(InterfaceName& found) {
    for (int i = 0; i < tavro_count; ++i) {
        std::snprintf(found, sizeof found, "tavro%d", i);
        // A failed query counts as not running.
        if (query_link_running(found) > 0) return true;
    }
    found[0] = '\0';
    return false;
}

void select_pop_uplink(UplinkState& state, bool flush_moves) {
    const NodeConfig& config = state.config;
    InterfaceName candidate = {};
    if (routed_nic_usable(config)) {
        std::snprintf(candidate, sizeof candidate, "%s", config.routed_nic);
        if (query_link_running(candidate) > 0) take_for_refresh(state, candidate, flush_moves);
        return;
    }
    if (first_running_tavro(candidate)) take_for_refresh(state, candidate, flush_moves);
}

void move_pop_uplink(UplinkState& state, const char* link, int link_state, const char* port) {
    std::printf("Interface %s Link: %d\n", link, link_state);
    std::fputs("Detected link state change, flushing the fastpath entry\n", stdout);
    flush_fastpath();
    std::printf("Updating the upstream port as %s as the device is a pop\n", port);
    write_upstream_port(state, port, PortFor::pop);
}

void replace_lost_pop_uplink(UplinkState& state, const char* stopped) {
    InterfaceName next;
    if (first_running_tavro(next)) move_pop_uplink(state, stopped, 0, next);
}
