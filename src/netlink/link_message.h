#pragma once

#include <cstdint>

#include "netlink/interface_name.h"
#include "netlink/message_walk.h"

// The fixed part of a link message (ifinfomsg).
struct LinkHeader {
    uint8_t family = 0;   // AF_UNSPEC for the link's own messages; AF_BRIDGE for a bridge port's
    int ifindex = 0;
    uint32_t flags = 0;
    uint32_t change = 0;  // the flags the message reports changed; 0 when its bytes end before them
};

// Reads the link's family, index and flags, when the message holds them (a link
// message cut after its ifinfomsg still does).
bool read_link_header(Bytes message, LinkHeader& link);

// The link's name as the message gives it (IFLA_IFNAME), which a deleted link no
// longer has in the kernel. Leaves `name` empty and returns false when the
// message's bytes hold none.
bool read_link_name(Bytes message, InterfaceName& name);

// The link's interface group (IFLA_GROUP), which policy rules may weigh: 0, the
// default group, when the message's bytes hold none.
uint32_t read_link_group(Bytes message);
