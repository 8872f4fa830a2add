#include "daemon/port_retry.h"

#include <algorithm>
#include <cstdio>

#include "daemon/fastpath.h"
#include "daemon/uplink_state.h"

void schedule_port_retry(PortRetry& retry, bool written, int64_t now_ms) {
    if (written) {
        retry = {};
        return;
    }
    if (retry.due_ms == 0) {
        retry.backoff_ms = port_retry_first_ms;
    } else if (now_ms >= retry.due_ms) {
        retry.backoff_ms = std::min(retry.backoff_ms * 2, port_retry_longest_ms);
    } else {
        return;
    }
    retry.due_ms = now_ms + retry.backoff_ms;
}

void write_port_again(UplinkState& state) {
    if (state.upstream_port_written || state.upstream_port[0] == '\0') return;
    InterfaceName port;
    std::snprintf(port, sizeof port, "%s", state.upstream_port);
    std::printf("Updating the upstream port as %s\n", port);
    const PortFor chosen_for = state.port_follows_gateway ? PortFor::gateway : PortFor::pop;
    record_upstream_port(state, port, set_upstream_port(port), chosen_for, state.port_ifindex);
}
