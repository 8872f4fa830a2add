#pragma once

#include "daemon/uplink_state.h"
#include "netlink/message_walk.h"

// Handles every route and link message of one notification datagram, in order,
// each as one unit against the state and the fastpath.
void handle_notifications(UplinkState& state, Bytes datagram);
