#pragma once

#include <cstdint>

#include "config/config_memory.h"
#include "config/node_config.h"
#include "netlink/interface_name.h"
#include "netlink/route_lookup.h"

// What the daemon knows about its node, never reset: each field keeps its last
// value until its writer replaces it. main owns the one record (in static
// storage: it holds the configuration's bytes) and hands it to the monitor
// thread, the only thread that touches it.
struct UplinkState {
    NodeConfig config;                   // the role and the POP's interfaces, as last read
    int32_t gateway_ifindex = -1;        // output interface of the default route last acted on
    InterfaceName upstream_port = {};    // the port last set, empty before the first
    bool upstream_port_written = false;  // and whether the fastpath took it
    ConfigMemory config_memory;          // the last clean configuration read, reused while the bytes stay
    RouteLookup route_lookup;            // where the kernel is asked which default route it uses
};

// Keeps what was just set as the upstream port, and whether the write worked.
void record_upstream_port(UplinkState& state, const char* name, bool written);
