#pragma once

#include <cstdint>

#include "config/node_config.h"
#include "netlink/gateway_address.h"
#include "netlink/neighbour_message.h"

// The daemon's decisions, on plain values: no system call is made here.

// On a POP, a tavro interface or the routed nic interface that comes up running
// becomes the upstream port.
bool link_takes_uplink(const char* name, uint32_t flags, const NodeConfig& config);

// A link message that may come with routes taken away, and with a POP's port
// gone: a link deleted, or no longer running, unless the message says the link
// has just been set up (it runs only once its carrier is seen). `change` holds
// the flags the message reports changed.
bool link_may_take_routes(uint16_t type, uint32_t flags, uint32_t change);

// A neighbour notification after which the kernel may rank default routers
// anew: on a node that does not forward it prefers routers neighbour discovery
// finds reachable, and says nothing of it. That is an IPv6 entry of a router
// (NTF_ROUTER: its advertisements or answers said so), or of the gateway followed
// (interface `gateway_ifindex`, address `gateway`), whatever its state. A host's
// entry, even a failed one, is no gateway of the route in use, so the kernel's
// choice cannot move with it: the neighbours of a busy LAN cost no question.
bool neighbour_may_rank_routers(const NeighbourMessage& neighbour, int gateway_ifindex, const GatewayAddress& gateway);

// On a POP whose port stopped running or went: the tavro links take over, unless
// the routed nic interface is usable, whose POP has no fallback.
bool tavro_replaces_lost_uplink(const NodeConfig& config);

// The routed nic interface may be used as a POP's uplink: it is named, and it is
// not the POP interface (nor any name the POP interface begins). An empty
// pop_iface begins every name, so then it is never usable.
bool routed_nic_usable(const NodeConfig& config);

// `name` begins with `prefix` (over the whole of `prefix`).
bool name_begins_with(const char* name, const char* prefix);
