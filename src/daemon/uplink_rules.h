#pragma once

#include <cstdint>

#include "config/node_config.h"
#include "daemon/failed_neighbours.h"
#include "netlink/address_message.h"
#include "netlink/gateway_address.h"
#include "netlink/neighbour_message.h"
#include "netlink/netconf_message.h"
#include "netlink/rule_message.h"

// The daemon's decisions, on plain values: no system call is made here.

// On a POP, a tavro interface or the routed nic interface that comes up running
// becomes the upstream port.
bool link_takes_uplink(const char* name, uint32_t flags, const NodeConfig& config);

// Whether a POP's rules take a link named `name` as its port: a tavro interface,
// or the routed nic interface when it is usable.
bool name_takes_uplink(const char* name, const NodeConfig& config);

// A link message that may come with routes taken away, and with a POP's port
// gone: a link deleted, or no longer running, unless the message says the link
// has just been set up (it runs only once its carrier is seen). `change` holds
// the flags the message reports changed.
bool link_may_take_routes(uint16_t type, uint32_t flags, uint32_t change);

// A neighbour notification after which the kernel may rank default routers
// anew. On a node that does not forward, it passes over every default route whose
// gateway's entry has FAILED, whatever the entry's flags, and takes it back
// without a word once the entry leaves that state or goes. So an IPv6 entry
// counts when it enters FAILED, and when one known to have failed (`failed`, kept
// up to date here) changes state or goes: a deleted entry says the state it had.
// The gateway followed (interface `gateway_ifindex`, address `gateway`) counts in
// any state. Entries that never fail (a busy LAN's hosts) cost no question, and
// an entry that fails again (the kernel's own probe of a failed router, each
// minute) costs none either: the kernel went back to passing it over.
bool neighbour_may_rank_routers(uint16_t type, const NeighbourMessage& neighbour, FailedNeighbours& failed,
                                int gateway_ifindex, const GatewayAddress& gateway);

// A netconf notification that changes how the kernel ranks default routes: the
// node's forwarding (with it on, a router's reachability no longer counts), or
// ignore_routes_with_linkdown, the node's or an interface's. A message with
// several settings is an interface's or a namespace's first, which changes no
// route in use.
bool netconf_may_rank_routes(uint16_t type, const NetconfMessage& netconf);

// An IPv6 address gone. A link whose IPv6 is disabled, or whose MTU falls below
// IPv6's minimum, loses its addresses, and with them its routes or its place in a
// multipath route, with no route or link notification: the address messages are
// what always comes.
bool address_loss_may_take_routes(uint16_t type, const AddressMessage& address);

// An IPv6 address added, while `source_rules` rules weigh the source address a
// lookup would take: the kernel picks it among the node's addresses (the result
// link's first), so a new one may change which rule matches. Without such rules
// an address never weighs in.
bool address_may_rank_routes(uint16_t type, const AddressMessage& address, int source_rules);

// The count of IPv6 rules that weigh a lookup's source address, after rule
// message `type` about `rule`.
int source_rules_after(int source_rules, uint16_t type, const RuleMessage& rule);

// On a POP whose port stopped running or went: the tavro links take over, unless
// the routed nic interface is usable, whose POP has no fallback.
bool tavro_replaces_lost_uplink(const NodeConfig& config);

// The routed nic interface may be used as a POP's uplink: it is named, and it is
// not the POP interface (nor any name the POP interface begins). An empty
// pop_iface begins every name, so then it is never usable.
bool routed_nic_usable(const NodeConfig& config);

// `name` begins with `prefix` (over the whole of `prefix`).
bool name_begins_with(const char* name, const char* prefix);
