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

struct ConfigMemory;

// Brings `config` up to date from the node configuration at `path` for a
// decision. When the file's bytes are those of the last clean read in `memory`,
// that read's answers are applied again and no jq runs; otherwise it is read
// as reload_node_config reads it. Returns as reload_node_config.
int load_node_config(NodeConfig& config, ConfigMemory& memory, const char* path);

// Brings `config` up to date by asking jq for one key at a time, and replaces what
// `memory` holds with this read when it was clean (every key gave a line, every jq
// exited with status 0, and the file held the same bytes before the first run
// and after the last), or with nothing. Returns 1 when it has just set is_pop, -1
// when jq could not be started, otherwise is_pop (0 or 1). `path` goes into a
// shell command as it is: pass only paths that need no quoting.
int reload_node_config(NodeConfig& config, ConfigMemory& memory, const char* path);
