#include "daemon/upstream_port.h"

#include <cstdio>

#include "daemon/fastpath.h"

void write_upstream_port(UplinkState& state, const char* name, PortFor chosen_for, int ifindex) {
    record_upstream_port(state, name, set_upstream_port(name), chosen_for, ifindex);
}

void record_upstream_port(UplinkState& state, const char* name, bool written, PortFor chosen_for, int ifindex) {
    std::snprintf(state.upstream_port, sizeof state.upstream_port, "%s", name);
    state.upstream_port_written = written;
    state.port_follows_gateway = chosen_for == PortFor::gateway;
    const unsigned link = ifindex > 0 ? static_cast<unsigned>(ifindex) : interface_index(state.names_socket, name);
    state.port_ifindex = link > 0 ? static_cast<int>(link) : -1;
    schedule_port_retry(state.port_retry, written, monotonic_ms());
}

void write_port_again(UplinkState& state) {
    if (state.upstream_port_written || state.upstream_port[0] == '\0') return;
    // The recorded name is rewritten by the write.
    InterfaceName port;
    std::snprintf(port, sizeof port, "%s", state.upstream_port);
    std::printf("Updating the upstream port as %s\n", port);
    const PortFor chosen_for = state.port_follows_gateway ? PortFor::gateway : PortFor::pop;
    write_upstream_port(state, port, chosen_for, state.port_ifindex);
}
