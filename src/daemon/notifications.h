#pragma once

#include "daemon/uplink_state.h"
#include "netlink/message_walk.h"

// Handles every route, link, nexthop-object, neighbour, policy-rule, address and
// netconf message of one notification datagram, in order: each that may change
// the kernel's choice or the port is handed to the reconciliation.
void handle_notifications(UplinkState& state, Bytes datagram);
