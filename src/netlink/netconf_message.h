#pragma once

#include <cstdint>

#include "netlink/message_walk.h"

// A netconf notification (netconfmsg and its attributes): which per-family
// settings of which interface it reports. The kernel sends one setting when it
// changes, and all of them when an interface (or a namespace) first gets its
// settings.
struct NetconfMessage {
    uint8_t family = 0;
    int ifindex = 0;              // NETCONFA_IFINDEX: an interface, or NETCONFA_IFINDEX_ALL / _DEFAULT
    bool forwarding = false;      // NETCONFA_FORWARDING is reported
    bool forwards = false;        // and says the node (or the interface) forwards
    bool ignores_linkdown = false;  // NETCONFA_IGNORE_ROUTES_WITH_LINKDOWN is reported
    int settings = 0;             // how many settings are reported
};

// Returns false when the message is too short to hold its netconfmsg.
bool read_netconf_message(Bytes message, NetconfMessage& netconf);
