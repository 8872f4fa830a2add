#include "daemon/uplink_rules.h"

#include <linux/neighbour.h>
#include <linux/netconf.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstring>

namespace {

constexpr const char* tavro_prefix = "tavro";

}  // namespace

bool link_takes_uplink(const char* name, uint32_t flags, const NodeConfig& config) {
    return (flags & IFF_RUNNING) != 0 && name_takes_uplink(name, config);
}

bool name_takes_uplink(const char* name, const NodeConfig& config) {
    if (!config.is_pop) return false;
    return name_begins_with(name, tavro_prefix) ||
           (routed_nic_usable(config) && name_begins_with(name, config.routed_nic));
}

bool link_may_take_routes(uint16_t type, uint32_t flags, uint32_t change) {
    if (type == RTM_DELLINK) return true;
    if (type != RTM_NEWLINK || (flags & IFF_RUNNING) != 0) return false;
    return (flags & change & IFF_UP) == 0;
}

bool neighbour_may_rank_routers(uint16_t type, const NeighbourMessage& neighbour, FailedNeighbours& failed,
                                int gateway_ifindex, const GatewayAddress& gateway) {
    // A proxy entry answers for others: the kernel's choice never looks at it.
    if (neighbour.family != AF_INET6 || (neighbour.flags & NTF_PROXY) != 0) return false;
    const NeighbourEntry entry{neighbour.ifindex, neighbour.address};
    const bool failed_now = type == RTM_NEWNEIGH && (neighbour.state & NUD_FAILED) != 0;
    // Deleted while failed: counts even when the daemon never saw it fail.
    const bool failed_deleted = type == RTM_DELNEIGH && (neighbour.state & NUD_FAILED) != 0;
    const bool changed = failed_now ? note_neighbour_failed(failed, entry)
                                    : note_neighbour_recovered(failed, entry) || failed_deleted;
    const bool gateway_entry =
        gateway_ifindex > 0 && neighbour.ifindex == gateway_ifindex && neighbour.address == gateway;
    return changed || gateway_entry;
}

bool netconf_may_rank_routes(uint16_t type, const NetconfMessage& netconf) {
    if (type != RTM_NEWNETCONF || netconf.family != AF_INET6 || netconf.settings != 1) return false;
    return netconf.ignores_linkdown || (netconf.forwarding && netconf.ifindex == NETCONFA_IFINDEX_ALL);
}

bool address_loss_may_take_routes(uint16_t type, const AddressMessage& address) {
    return type == RTM_DELADDR && address.family == AF_INET6;
}

bool address_may_rank_routes(uint16_t type, const AddressMessage& address, int source_rules) {
    return type == RTM_NEWADDR && address.family == AF_INET6 && source_rules > 0;
}

int source_rules_after(int source_rules, uint16_t type, const RuleMessage& rule) {
    if (rule.family != AF_INET6 || !rule.finds_source) return source_rules;
    if (type == RTM_NEWRULE) return source_rules + 1;
    // One the last refresh did not count (its notification lost) is no reason to go below none.
    return source_rules > 0 ? source_rules - 1 : 0;
}

bool tavro_replaces_lost_uplink(const NodeConfig& config) { return config.is_pop && !routed_nic_usable(config); }

bool routed_nic_usable(const NodeConfig& config) {
    return config.routed_nic[0] != '\0' && !name_begins_with(config.routed_nic, config.pop_iface);
}

bool name_begins_with(const char* name, const char* prefix) {
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}
