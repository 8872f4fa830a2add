#include "fuzz/doubles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/node_config.h"
#include "daemon/fastpath.h"
#include "netlink/interface_name.h"

namespace {

// Index 1 is lo, as on every node; 2 to 17 are the tavro links; then a POP's own
// links and two uplinks. Every other index has no interface.
constexpr const char* names[] = {
    "lo",      "tavro0",  "tavro1",  "tavro2",  "tavro3", "tavro4", "tavro5", "tavro6",
    "tavro7",  "tavro8",  "tavro9",  "tavro10", "tavro11", "tavro12", "tavro13", "tavro14",
    "tavro15", "nic0",    "nic1",    "up0",     "up1",
};
constexpr int name_count = sizeof names / sizeof names[0];

uint8_t role = 0;
int writes = 0;

void check_name(const char* name) {
    // A port name is never empty and always fits an interface name.
    const size_t length = strnlen(name, IF_NAMESIZE);
    if (length == 0 || length >= IF_NAMESIZE) std::abort();
}

}  // namespace

void set_fuzzed_role(uint8_t chosen) { role = chosen; }
int fuzzed_writes() { return writes; }
void reset_fuzzed_writes() { writes = 0; }

bool interface_name(int index, InterfaceName& name) {
    std::memset(name, 0, sizeof name);
    if (index < 1 || index > name_count) return false;
    std::snprintf(name, sizeof name, "%s", names[index - 1]);
    return true;
}

int load_node_config(NodeConfig& config, ConfigMemory& /*memory*/, const char* /*path*/) {
    // Bits of the role: is a POP, POP interface nic0 or none, routed nic nic1 or nic0.
    config.is_pop = (role & 1) != 0;
    std::snprintf(config.pop_iface, sizeof config.pop_iface, "%s", (role & 2) ? "nic0" : "");
    std::snprintf(config.routed_nic, sizeof config.routed_nic, "%s", (role & 4) ? "nic1" : "nic0");
    return config.is_pop ? 1 : 0;
}

bool set_upstream_port(const char* name) {
    check_name(name);
    ++writes;
    return true;
}

void flush_fastpath() { ++writes; }
