#include "daemon/uplink_state.h"

#include <cstdio>

void record_upstream_port(UplinkState& state, const char* name, bool written) {
    std::snprintf(state.upstream_port, sizeof state.upstream_port, "%s", name);
    state.upstream_port_written = written;
}
