#pragma once

#include "daemon/kernel_gateway.h"
#include "daemon/uplink_state.h"
#include "netlink/message_walk.h"
#include "netlink/route_message.h"

// What a notification saw go that may have taken the gateway followed with it.
struct WhatWent {
    const RouteMessage* route = nullptr;  // a default route deleted
    Bytes nexthop_object;                 // a nexthop object deleted (its message): with the kernel's
                                          // compatibility view off, the routes over it went unannounced
    int link = 0;                         // a link that stopped, went or lost IPv6, and may have taken
                                          // routes and nexthop objects with it, unannounced over objects
    // Nothing was told to go yet: a router advertisement reaches the daemon
    // before the kernel has handled it, so a route it withdraws may be gone
    // from the kernel's answer before its deletion is announced.
    bool untold = false;
};

// Whether the gateway followed is gone. It is gone only when the kernel's choice
// (`kernel`) no longer carries it, and then when what went carried it (its
// interface and address; its interface alone when the kernel cannot tell), or,
// for the gateway's own link or an advertisement's change, when the kernel says no
// default route through the gateway is left, dead members and nexthop objects
// included.
bool gateway_gone(UplinkState& state, const WhatWent& went, const KernelGateway& kernel);
