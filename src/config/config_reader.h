#pragma once

#include "config/config_memory.h"
#include "config/node_config.h"

// Reading the node configuration: the file's bytes, jq's answers about them, and
// the memory of the last clean read.

// Brings `config` up to date from the node configuration at `path` for a
// decision. When the file's bytes are those of the last clean read in `memory`,
// that read's answers are applied again and no jq runs; otherwise it is read
// as reload_node_config reads it. Returns as reload_node_config.
int load_node_config(NodeConfig& config, ConfigMemory& memory, const char* path);

// Whether the last read of the configuration at `path` was unclean, though every
// jq it ran finished, and the file is as it was then: its bytes the same, or
// still missing. jq would say the same again, complaint included, and `config`
// already holds what it said.
bool config_still_unclean(ConfigMemory& memory, const char* path);

// Brings `config` up to date by asking jq for one key at a time, and replaces what
// `memory` holds with this read when it was clean (every key gave a line, every jq
// exited with status 0, and the file held the same bytes before the first run
// and after the last), or with nothing. Returns 1 when it has just set is_pop, -1
// when jq could not be started, otherwise is_pop (0 or 1). `path` goes into a
// shell command as it is: pass only paths that need no quoting.
int reload_node_config(NodeConfig& config, ConfigMemory& memory, const char* path);
