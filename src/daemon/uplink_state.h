#pragma once

#include <cstdint>

#include "config/config_memory.h"
#include "config/node_config.h"

// What the daemon knows about its node, never reset: each field keeps its last
// value until its writer replaces it. main owns the one record (in static
// storage: it holds the configuration's bytes) and hands it to the monitor
// thread, the only thread that touches it.
struct UplinkState {
    NodeConfig config;             // the role and the POP's interfaces, as last read
    int32_t gateway_ifindex = -1;  // output interface of the default route last acted on
    ConfigMemory config_memory;    // the last clean configuration read, reused while the bytes stay
};
