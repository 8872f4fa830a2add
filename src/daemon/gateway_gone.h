#pragma once

#include "daemon/kernel_gateway.h"
#include "daemon/uplink_state.h"
#include "netlink/message_walk.h"
#include "netlink/route_message.h"

// When the gateway followed is gone: the deleted line ("Default gateway deleted
// on NAME", named as it was recorded, since its link may be gone) and the gateway
// forgotten, so that a route through it later is a new gateway. It is gone only
// when the kernel's choice (`kernel`) no longer carries it; how it went differs.

// A default route was deleted. It took the gateway with it when it carried that
// gateway (its interface and address); when the kernel cannot tell, when it went
// through that interface.
void note_deleted_route(UplinkState& state, const RouteMessage& route, const KernelGateway& kernel);

// A nexthop object was deleted (`message`), and with the kernel's compatibility
// view off, the routes over it went without a word.
void note_deleted_nexthop(UplinkState& state, Bytes message, const KernelGateway& kernel);

// Link `ifindex` stopped, went, or lost IPv6, and may have taken routes and
// nexthop objects with it without a word (over nexthop objects the kernel
// announces neither). When it is the gateway's link, the kernel is asked which
// default routes through it are left: none through the gateway, and it is gone.
void note_gateway_gone_with_link(UplinkState& state, int ifindex, const KernelGateway& kernel);
