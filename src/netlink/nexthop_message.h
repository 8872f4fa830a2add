#pragma once

#include <cstdint>

#include "netlink/message_walk.h"
#include "netlink/route_message.h"

// A kernel nexthop object, from an RTM_NEWNEXTHOP message (header, nhmsg,
// attributes), as far as its bytes go: either one nexthop or a group of others.
struct NexthopObject {
    uint32_t id = 0;
    RouteNexthop nexthop;  // NHA_OIF, NHA_GATEWAY (of either family) and nh_flags
    Bytes group;           // NHA_GROUP's nexthop_grp records; empty when not a group
};

// Returns false when the message is too short to hold its nhmsg.
bool read_nexthop_object(Bytes message, NexthopObject& object);

// Takes the next member id off the front of `rest` (NHA_GROUP's payload). Returns
// false when no whole record is left.
bool next_group_member(Bytes& rest, uint32_t& id);
