#pragma once

#include "daemon/uplink_state.h"
#include "netlink/message_walk.h"

// Handles every route, link, nexthop-object, neighbour, policy-rule, address and
// netconf message of one notification datagram, in order, each as one unit against the state and the
// fastpath.
void handle_notifications(UplinkState& state, Bytes datagram);

// The kernel may have changed the default route it uses without a route
// notification: the route in use has run out of lifetime, or a router
// advertisement came that shortened or revived one. Asks again which one it uses.
void follow_kernel_silently(UplinkState& state);
