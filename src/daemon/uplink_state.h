#pragma once

#include <cstdint>

#include "netlink/interface_name.h"

// What the daemon knows about its node. One record for the whole process, never
// reset: each field keeps its last value until its writer replaces it. Only the
// monitor thread touches it.
struct UplinkState {
    bool is_pop = false;
    int32_t gateway_ifindex = -1;  // output interface of the default route last acted on
    InterfaceName routed_nic = {};
    InterfaceName pop_iface = {};
};

extern UplinkState uplink_state;

// The routed nic interface may be used as a POP's uplink: it is named, and it is
// not the POP interface (nor any name the POP interface begins). An empty
// pop_iface begins every name, so then it is never usable.
bool routed_nic_usable(const UplinkState& state);

// `name` begins with `prefix` (over the whole of `prefix`).
bool name_begins_with(const char* name, const char* prefix);
