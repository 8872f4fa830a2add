#pragma once

#include "daemon/uplink_state.h"
#include "netlink/message_walk.h"

// Handles every route, link, nexthop-object, neighbour and policy-rule message of
// one notification datagram, in order, each as one unit against the state and the
// fastpath.
void handle_notifications(UplinkState& state, Bytes datagram);

// The route in use has run out of lifetime: the kernel has passed it over, or is
// about to, without a word. Asks again which one it uses.
void follow_route_expiry(UplinkState& state);
