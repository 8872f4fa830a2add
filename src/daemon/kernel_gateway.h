#pragma once

#include "daemon/uplink_state.h"
#include "netlink/gateway_address.h"

// The default route the kernel itself uses, asked of the kernel rather than
// worked out here: metrics, router preferences, neighbour reachability, route
// lifetimes and policy rules are the kernel's to weigh.

enum class GatewayAnswer {
    chosen,   // `ifindex` and `gateway` are those of the default route in use
    none,     // the kernel has no default route in use with a gateway and a named interface
    unknown,  // it could not be asked, or no route it matched is a default route
};

struct KernelGateway {
    GatewayAnswer answer = GatewayAnswer::unknown;
    int ifindex = -1;
    GatewayAddress gateway;
    bool probe = false;  // chosen, but only while the kernel probes a failed router: not to be followed
};

// The output interface and gateway of the default route the kernel uses now. Of
// that route's nexthops (its own, a multipath route's, or those of the nexthop
// object it names), the recorded gateway stays when it is one of them; else
// another nexthop through the recorded interface; else the first with a gateway
// and a named interface. Nexthops the kernel marks dead do not count; one that
// gets no flows, its gateway failed, is taken only when every other gets none
// either, and one whose link has no carrier only when every other lacks one too.
// With no gateway recorded, the port's interface stands in for it. Asked on
// `socket_fd`, the lookup socket (-1 when none could be had: the answer is then
// unknown). The answer, with the route's lifetime, sets the route-expiry timer,
// unless it is the kernel's probe of a failed router (see router_probe.h).
KernelGateway kernel_gateway(UplinkState& state, int socket_fd);
