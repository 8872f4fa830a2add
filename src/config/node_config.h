#pragma once

#include <net/if.h>

constexpr const char* node_config_path = "/data/cfg/node_config.json";

// What the node configuration says about the node. A key that cannot be read
// changes nothing, so each field keeps the value of the last read that gave it.
struct NodeConfig {
    bool is_pop = false;               // names both a POP address and a POP interface
    char pop_iface[IF_NAMESIZE] = {};  // the POP interface
    char routed_nic[IF_NAMESIZE] = {};  // the last "nic" entry of the prefix list
};
