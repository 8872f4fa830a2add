#pragma once

#include "netlink/message_walk.h"

// Handles every route and link message of one notification datagram, in order,
// each as one unit against the state and the fastpath.
void handle_notifications(Bytes datagram);
