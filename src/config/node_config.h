#pragma once

#include "daemon/uplink_state.h"

constexpr const char* node_config_path = "/data/cfg/node_config.json";

// Brings is_pop, pop_iface and routed_nic up to date from the node configuration
// at `path`, asking jq for one key at a time. Returns 1 when it has just set is_pop,
// -1 when jq could not be started, otherwise is_pop (0 or 1). `path` goes into a
// shell command as it is: pass only paths that need no quoting.
int load_node_config(UplinkState& state, const char* path);

// The same for the process's state and the node's configuration file.
int load_node_config();
