#include "daemon/pop_uplink.h"

#include <cstdio>

#include "daemon/fastpath.h"
#include "daemon/uplink_rules.h"
#include "netlink/interface_name.h"
#include "netlink/link_query.h"

namespace {

constexpr int tavro_count = 16;

// A failed query counts as not running.
bool take_if_running(UplinkState& state, const char* candidate) {
    if (query_link_running(candidate) <= 0) return false;
    std::printf("Updating the upstream port as %s\n", candidate);
    record_upstream_port(state, candidate, set_upstream_port(candidate));
    return true;
}

}  // namespace

void select_pop_uplink(UplinkState& state) {
    const NodeConfig& config = state.config;
    InterfaceName candidate = {};
    if (routed_nic_usable(config)) {
        std::snprintf(candidate, sizeof candidate, "%s", config.routed_nic);
        take_if_running(state, candidate);
        return;
    }
    for (int i = 0; i < tavro_count; ++i) {
        std::snprintf(candidate, sizeof candidate, "tavro%d", i);
        if (take_if_running(state, candidate)) return;
    }
}
