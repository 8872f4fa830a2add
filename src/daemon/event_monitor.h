#pragma once

#include "daemon/service_notices.h"
#include "daemon/uplink_state.h"

// The daemon's main loop: follows the kernel's link, IPv6 route and nexthop notifications,
// and runs the refreshes SIGUSR1 asks for between two of them. Once it listens,
// it tells the service manager it is ready, and after each decision what the
// state has become. Returns -1, after its stderr line, only when its socket
// cannot be created or bound.
int run_netlink_monitor(UplinkState& state, ServiceNotices& notices);
