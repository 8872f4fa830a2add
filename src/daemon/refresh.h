#pragma once

#include "daemon/uplink_state.h"

// The daemon's complete re-evaluation of the upstream port: the node
// configuration (jq asked whatever the file's bytes), then the reconciliation of
// a refresh: the links that run, the IPv6 default route the kernel uses, and on a
// POP the uplink choice. With `flush_moves` (a refresh in place of lost
// notifications, which would have flushed), the fastpath entry is flushed before
// the port moves.
void refresh_upstream_port(UplinkState& state, bool flush_moves);

// The refresh that SIGUSR1 asks for, with its line.
void run_requested_refresh(UplinkState& state);
