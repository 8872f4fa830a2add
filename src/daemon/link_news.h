#pragma once

#include <cstdint>

#include "daemon/uplink_state.h"

// What one link message says of a link that may move the port itself, whatever
// the kernel's choice of route.
struct LinkNews {
    int ifindex = 0;                // 0: no link's news
    const char* name = "";          // its name, from the message or the kernel
    uint32_t flags = 0;             // its IFF_ flags
    bool port_or_gateway = false;   // the port's or the gateway's link, whose name is followed
    bool started = false;           // it has just started running
    bool lost = false;              // it stopped running, or went
    bool deleted = false;           // it went
};

// Moves the port as a link's news asks, and returns whether the configuration was
// read meanwhile.
// - Renamed: a link keeps its index when renamed, and the kernel's answers name
//   it anew. The port's link is written with the new name (the same device, so no
//   flush), and the gateway followed is named anew. A POP whose rules do not take
//   the new name counts its port's link as gone. A link that takes the old name
//   afterwards is another link.
// - Started: on a POP, a tavro link or the routed nic link becomes the port.
// - Lost: a POP's port falls back to the first running tavro link (unless the
//   routed nic link is usable); a port whose link went keeps no index.
bool follow_link_news(UplinkState& state, const LinkNews& news);
