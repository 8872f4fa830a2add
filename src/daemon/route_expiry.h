#pragma once

#include <cstdint>

// The daemon's one timer: the moment the default route in use runs out of
// lifetime (a router advertisement's, or one an operator gave it). The kernel
// stops using such a route that moment without a word, and announces its
// deletion only at its next garbage collection, up to half a minute later. A node
// whose route in use has no lifetime has no timer.
struct RouteExpiry {
    int64_t deadline_ms = 0;       // on the monotonic clock; 0: no timer
    int64_t overdue_until_ms = 0;  // once a deadline has come: the end of the watch for the route to go
};

// The kernel gives a lifetime in whole clock ticks, rounded down, and passes an
// expired route over only at its own next tick: a deadline may come up to a tick
// early, and the route may be used a tick after it. For three ticks (of the
// slowest kernel clock) past a deadline, a route still in use that shows no
// lifetime left is asked about again every millisecond.
constexpr int64_t overdue_watch_ms = 30;
constexpr int64_t overdue_poll_ms = 1;

// After the kernel was asked which default route it uses: arms the timer for
// `lifetime_ms`, the lifetime left of the route in use when there is one
// (`in_use`; 0 when it has no lifetime, or none left to count), or clears it.
void arm_route_expiry(RouteExpiry& expiry, bool in_use, int64_t lifetime_ms, int64_t now_ms);

// Whether the deadline has come, and the kernel is to be asked again. The first
// time past a deadline, the watch for the route to go begins.
bool route_expiry_due(RouteExpiry& expiry, int64_t now_ms);

// How long the event loop may wait for notifications: -1, for ever, without a timer.
int64_t route_expiry_wait_ms(const RouteExpiry& expiry, int64_t now_ms);

// Now, in milliseconds on the monotonic clock.
int64_t monotonic_ms();
