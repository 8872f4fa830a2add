#pragma once

#include "daemon/uplink_state.h"

// A POP's choice of upstream port, the last stage of every refresh on a POP: the
// routed nic interface if it is usable (and then nothing else, running or not),
// otherwise the first running interface among tavro0 to tavro15. It never
// flushes, and rewrites the port even when the choice is unchanged.
void select_pop_uplink(UplinkState& state);
