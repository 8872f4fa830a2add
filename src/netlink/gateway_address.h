#pragma once

#include <array>
#include <cstddef>

#include "netlink/message_walk.h"

// A nexthop's gateway as the kernel gives it: an IPv6 address, or an IPv4 one held
// as ::ffff:a.b.c.d, so that both compare alike. All zeros when there is none: no
// gateway is ever ::.
struct GatewayAddress {
    std::array<std::byte, 16> bytes{};

    bool known() const { return *this != GatewayAddress{}; }
    auto operator<=>(const GatewayAddress&) const = default;
};

// Reads an IPv6 address (RTA_GATEWAY of an IPv6 route, NDA_DST of an IPv6
// neighbour). Returns false, and leaves `address` unknown, when the payload is too
// short to hold one.
bool read_gateway_address(Bytes payload, GatewayAddress& address);

// Reads NHA_GATEWAY, whose nexthop may be IPv6 or IPv4 (four bytes).
bool read_nexthop_gateway(Bytes payload, GatewayAddress& address);
