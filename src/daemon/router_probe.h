#pragma once

#include "daemon/kernel_gateway.h"
#include "daemon/uplink_state.h"

// The kernel's probe of a failed router. On a node that does not forward, the
// kernel passes over a router whose neighbour entry has FAILED; but each lookup
// that passes it over may probe it, at most once a router_probe_interval, by
// setting the entry to INCOMPLETE without a word, and until the probe ends every
// lookup takes that router again. The daemon's own lookups open such probes. The
// probe's end is announced (the entry fails again), and so is a router that
// answers (the entry changes).

// Whether `kernel`, an answer that names a gateway, is such a probe: it moves the
// choice to a gateway whose entry the daemon has seen fail and not seen change
// since, on a node that does not forward, while another default route's gateway
// is not known to have failed. When every gateway has failed, the kernel's choice
// stands. Asked on `socket_fd`, the lookup socket.
bool kernel_probes_router(UplinkState& state, int socket_fd, const KernelGateway& kernel);
