#include "daemon/uplink_rules.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstring>

namespace {

constexpr const char* tavro_prefix = "tavro";

}  // namespace

bool link_takes_uplink(const char* name, uint32_t flags, const NodeConfig& config) {
    if ((flags & IFF_RUNNING) == 0 || !config.is_pop) return false;
    return name_begins_with(name, tavro_prefix) ||
           (routed_nic_usable(config) && name_begins_with(name, config.routed_nic));
}

bool link_may_take_routes(uint16_t type, uint32_t flags, uint32_t change) {
    if (type == RTM_DELLINK) return true;
    if (type != RTM_NEWLINK || (flags & IFF_RUNNING) != 0) return false;
    return (flags & change & IFF_UP) == 0;
}

bool neighbour_may_rank_routers(const NeighbourMessage& neighbour, int gateway_ifindex, const GatewayAddress& gateway) {
    if (neighbour.family != AF_INET6) return false;
    if ((neighbour.flags & NTF_ROUTER) != 0) return true;
    return gateway_ifindex > 0 && neighbour.ifindex == gateway_ifindex && neighbour.address == gateway;
}

bool tavro_replaces_lost_uplink(const NodeConfig& config) { return config.is_pop && !routed_nic_usable(config); }

bool routed_nic_usable(const NodeConfig& config) {
    return config.routed_nic[0] != '\0' && !name_begins_with(config.routed_nic, config.pop_iface);
}

bool name_begins_with(const char* name, const char* prefix) {
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}
