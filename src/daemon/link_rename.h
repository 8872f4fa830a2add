#pragma once

#include "daemon/uplink_state.h"

// Link `ifindex` is now named `name`. A link keeps its index when renamed, and the
// kernel's answers name it anew: when it is the port's link, the port is written
// with the new name (the same device, so no flush), and the gateway followed is
// named anew. A POP whose rules do not take the new name counts its port's link
// as gone. A link that takes the old name afterwards is another link.
void follow_renamed_link(UplinkState& state, int ifindex, const char* name);
