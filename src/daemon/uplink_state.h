#pragma once

#include <cstdint>

#include "config/config_memory.h"
#include "config/node_config.h"
#include "daemon/failed_neighbours.h"
#include "daemon/link_groups.h"
#include "daemon/port_retry.h"
#include "daemon/route_expiry.h"
#include "daemon/running_links.h"
#include "netlink/gateway_address.h"
#include "netlink/interface_name.h"
#include "netlink/route_lookup.h"

// What the daemon knows about its node, never reset: each field keeps its last
// value until its writer replaces it. main owns the one record (in static
// storage: it holds the configuration's bytes) and hands it to the monitor
// thread, the only thread that touches it.
struct UplinkState {
    NodeConfig config;                   // the role and the POP's interfaces, as last read
    int32_t gateway_ifindex = -1;        // output interface of the default route last acted on
    GatewayAddress gateway_address;      // and the gateway of the nexthop followed; unknown when the
                                         // kernel could not be asked
    InterfaceName gateway_name = {};     // and that interface's name then: it has none once it is gone
    InterfaceName upstream_port = {};    // the port last set, empty before the first
    bool upstream_port_written = false;  // and whether the fastpath took it
    bool port_follows_gateway = false;   // it was set for the gateway, as on a node that is not a POP
    int port_ifindex = -1;               // its link's index (kept when the gateway is forgotten), -1
                                         // once that link has gone
    PortRetry port_retry;                // when a port the fastpath refused is written again
    int64_t advert_recheck_ms = 0;       // when the kernel is asked once more after a router advertisement
    ConfigMemory config_memory;          // the last clean configuration read, reused while the bytes stay
    RouteLookup route_lookup;            // where the kernel is asked which default route it uses
    RouteExpiry route_expiry;            // when that route runs out of lifetime
    RunningLinks running_links;          // the links known to run
    FailedNeighbours failed_neighbours;  // the IPv6 neighbour entries known to have failed
    LinkGroups link_groups;              // the links outside the default interface group
    int source_rules = 0;                // the IPv6 rules that weigh a lookup's source address
    int names_socket = -1;               // a socket held for the process's life, to name interfaces over
};

// Brings the node's role and the POP's interfaces up to date from the
// configuration file.
void read_node_config(UplinkState& state);

// The same, for a decision that may move the port (`may_move_port`) as the role
// stands, or one that cannot. One that cannot does without jq when the last read
// was unclean and the file is as it was then, or still missing: jq would say
// the same again, complaint included, and the role stays. Returns whether it
// read.
bool read_node_config_for(UplinkState& state, bool may_move_port);

// Records interface `ifindex`, named `name`, and gateway `via` as the gateway
// followed, or forgets it (ifindex -1).
void record_gateway(UplinkState& state, int ifindex, const char* name, const GatewayAddress& via);
void forget_gateway(UplinkState& state);
