#include "daemon/uplink_state.h"

#include <cstring>

UplinkState uplink_state;

bool name_begins_with(const char* name, const char* prefix) {
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

bool routed_nic_usable(const UplinkState& state) {
    return state.routed_nic[0] != '\0' && !name_begins_with(state.routed_nic, state.pop_iface);
}
