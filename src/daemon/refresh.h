#pragma once

#include "daemon/uplink_state.h"

// The daemon's complete re-evaluation of the upstream port: the node
// configuration, the IPv6 default route the kernel uses, and on a POP the uplink
// choice.
void refresh_upstream_port(UplinkState& state);

// The middle stage of a refresh: the default route the kernel uses is reported and
// recorded, and on a node that is not a POP written as the upstream port. When the
// kernel cannot tell, every usable default route in the IPv6 table is, in dump
// order (scan_default_routes).
void refresh_gateway(UplinkState& state);

// Every usable default route in the IPv6 table is reported and recorded, and on a
// node that is not a POP written as the upstream port, in dump order.
void scan_default_routes(UplinkState& state);

// The refresh that SIGUSR1 asks for, with its line.
void run_requested_refresh(UplinkState& state);
