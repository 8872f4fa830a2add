#pragma once

#include "daemon/uplink_state.h"

// The daemon's main loop: follows the kernel's link and IPv6 route notifications,
// and runs the refreshes SIGUSR1 asks for between two of them. Returns -1, after
// its stderr line, only when its socket cannot be created or bound.
int run_netlink_monitor(UplinkState& state);
