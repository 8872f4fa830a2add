#pragma once

#include "daemon/uplink_state.h"
#include "netlink/interface_name.h"

// A POP's choice of upstream port, the last stage of every refresh on a POP: the
// routed nic interface if it is usable (and then nothing else, running or not),
// otherwise the first running interface among tavro0 to tavro15. It rewrites the
// port even when the choice is unchanged, and flushes first only with
// `flush_moves`, when the choice moves the port.
void select_pop_uplink(UplinkState& state, bool flush_moves);

// The first running interface among tavro0 to tavro15, asked of the kernel in
// that order. Returns false, with `found` empty, when none runs.
bool first_running_tavro(InterfaceName& found);

// Moves a POP's port to `port` after link `link` changed state (`link_state` 1 for
// running, 0 for stopped or gone): the link line, the flush, the update line and
// the write.
void move_pop_uplink(UplinkState& state, const char* link, int link_state, const char* port);

// The POP's port, link `stopped`, stopped running or went: the port moves to the
// first running tavro link, if one runs. Call only when tavro links are the POP's
// fallback (tavro_replaces_lost_uplink).
void replace_lost_pop_uplink(UplinkState& state, const char* stopped);
