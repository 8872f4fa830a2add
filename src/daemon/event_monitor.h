#pragma once

#include "daemon/service_notices.h"
#include "daemon/uplink_state.h"

// The daemon's main loop, on the bound notification socket `socket_fd`: follows
// the kernel's link, neighbour, IPv6 route and rule, and nexthop notifications,
// the router advertisements seen on `adverts_fd` (-1 when none can be), the
// lifetime of the route in use, writes again a port the fastpath refused, and
// runs the refreshes SIGUSR1 asks for between two of them. It first tells the
// service manager it is ready, and after each decision what the state has become.
// It never returns.
[[noreturn]] void run_netlink_monitor(UplinkState& state, ServiceNotices& notices, int socket_fd, int adverts_fd);
