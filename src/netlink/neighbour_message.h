#pragma once

#include <cstdint>

#include "netlink/gateway_address.h"
#include "netlink/message_walk.h"

// A neighbour-table entry, from an RTM_NEWNEIGH or RTM_DELNEIGH message (header,
// ndmsg, attributes), as far as its bytes go.
struct NeighbourMessage {
    uint8_t family = 0;
    int ifindex = 0;
    uint16_t state = 0;     // NUD_ bits
    uint8_t flags = 0;      // NTF_ bits: NTF_ROUTER for an entry that advertised itself a router
    GatewayAddress address; // NDA_DST of an IPv6 entry; unknown for other families
};

// Which entry a neighbour message is about: the kernel keys IPv6 entries by link
// and address.
struct NeighbourEntry {
    int ifindex = 0;
    GatewayAddress address;

    auto operator<=>(const NeighbourEntry&) const = default;
};

// Returns false when the message is too short to hold its ndmsg. Other families'
// entries are read as far as their ndmsg only: nobody asks for their address.
bool read_neighbour_message(Bytes message, NeighbourMessage& neighbour);
