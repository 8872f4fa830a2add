#include "daemon/refresh.h"

#include <cstdio>

#include "config/config_reader.h"
#include "daemon/reconciliation.h"

void refresh_upstream_port(UplinkState& state, bool flush_moves) {
    // A refresh always asks jq: it is the operator's way to force a fresh read.
    reload_node_config(state.config, state.config_memory, node_config_path);
    Cue cue;
    cue.refresh = true;
    cue.flush_moves = flush_moves;
    reconcile(state, cue);
}

void run_requested_refresh(UplinkState& state) {
    std::fputs("Received SIGUSR1 signal from meshwarden. Updating the upstream port..\n", stdout);
    refresh_upstream_port(state, false);
}
