#pragma once

#include "daemon/uplink_state.h"

// The links that run now and their interface groups, the IPv6 neighbour entries
// that have failed and the rules that weigh a lookup's source address, learnt
// afresh from the kernel's dumps on the lookup socket `socket_fd`. Without a
// socket or a dump, what was known stays: the messages since say the rest.
void learn_links_and_neighbours(UplinkState& state, int socket_fd);
