#pragma once

#include <cstdint>

#include "netlink/gateway_address.h"

// The daemon's one timer, for what the kernel does to a route's lifetime (a router
// advertisement's, or one an operator gave) without a word:
// - when the route in use runs out, the kernel passes it over at once, and
//   announces its deletion only at its next garbage collection, up to half a
//   minute later;
// - until then, the router's next advertisement revives it, as silently.
// So the kernel is asked again when the route in use runs out. Where the daemon
// cannot see router advertisements, it then asks each second until the kernel
// would have collected the route; where it sees them, each one asks instead. A
// node whose route in use has no lifetime has no timer.
struct RouteExpiry {
    int64_t deadline_ms = 0;        // when the kernel is next asked, on the monotonic clock; 0: never
    int64_t runs_out_ms = 0;        // when the route in use runs out; 0: it has no lifetime
    int ifindex = -1;               // that route's gateway
    GatewayAddress gateway;
    int64_t overdue_until_ms = 0;   // once it has run out, it is watched until then
    int64_t revival_until_ms = 0;   // once passed over, it may come back until then
    // How long a route passed over is watched for its revival: the kernel's
    // collection interval, or 0 where each advertisement asks the kernel anyway.
    int64_t revival_watch_ms = 0;
};

// The kernel gives a lifetime in whole clock ticks, rounded down, and passes an
// expired route over only at its own next tick: a route may still be used up to
// two ticks past the end the daemon counts. For three ticks (of the slowest
// kernel clock), a route that has run out but is still used is asked about again
// each millisecond.
constexpr int64_t overdue_watch_ms = 30;
constexpr int64_t overdue_poll_ms = 1;
constexpr int64_t revival_poll_ms = 1000;

// What the kernel said of the default route it uses, for the timer: whether it
// uses one, through which gateway, and how long that route has left
// (`lifetime_ms`, 0 or less when it has no lifetime or none left to count).
struct RouteInUse {
    bool in_use = false;
    int ifindex = -1;
    GatewayAddress gateway;
    int64_t lifetime_ms = 0;
};

// After each answer from the kernel about the default route it uses: sets the
// timer for that route's end, the watch of a route that has run out, and the
// watch for its revival once the kernel has passed it over. A route that had a
// lifetime and reads none left is running out now: the kernel rounds the
// lifetime down to whole hundredths, so in its last one it reads 0.
void arm_route_expiry(RouteExpiry& expiry, const RouteInUse& route, int64_t now_ms);

// Whether the kernel is to be asked again now. The first time past the end of the
// route in use, the watch of that route begins.
bool route_expiry_due(RouteExpiry& expiry, int64_t now_ms);

// How long the event loop may wait for notifications: -1, for ever, without a timer.
int64_t route_expiry_wait_ms(const RouteExpiry& expiry, int64_t now_ms);

// Now, in milliseconds on the monotonic clock.
int64_t monotonic_ms();
