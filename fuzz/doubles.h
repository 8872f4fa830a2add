#pragma once

// Stand-ins for the system calls behind the parsers, for the fuzz build only:
// names come from a fixed table instead of the kernel, the configuration from
// the input instead of jq, and fastpath writes are checked instead of made.

#include <cstdint>


// The role load_node_config() gives the node on its next calls.
void set_fuzzed_role(uint8_t role);

// Fastpath writes seen since the last reset.
int fuzzed_writes();
void reset_fuzzed_writes();
