#pragma once

#include "daemon/uplink_state.h"

// The daemon's complete re-evaluation of the upstream port: the node
// configuration, the IPv6 default route the kernel uses, the links that run, and
// on a POP the uplink choice. With `flush_moves` (a refresh in place of lost
// notifications, which would have flushed), the fastpath entry is flushed before
// the port moves.
void refresh_upstream_port(UplinkState& state, bool flush_moves);

// The middle stage of a refresh: the default route the kernel uses, asked on the
// lookup socket `socket_fd` (-1 when there is none), is reported and recorded,
// and on a node that is not a POP written as the upstream port. When the kernel
// cannot tell, the table is dumped instead (scan_default_routes).
void refresh_gateway(UplinkState& state, int socket_fd, bool flush_moves);

// The main table's usable default route with the lowest metric, from a dump of the
// IPv6 table, is reported and recorded, and on a node that is not a POP written as
// the upstream port.
void scan_default_routes(UplinkState& state, bool flush_moves);

// The refresh that SIGUSR1 asks for, with its line.
void run_requested_refresh(UplinkState& state);
