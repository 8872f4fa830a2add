#include "daemon/route_expiry.h"

#include <algorithm>
#include <ctime>

namespace {

constexpr int64_t milliseconds_per_second = 1000;
constexpr int64_t nanoseconds_per_millisecond = 1000000;

// The earliest of two deadlines, 0 standing for none.
int64_t earliest(int64_t first, int64_t second) {
    if (first == 0) return second;
    if (second == 0) return first;
    return std::min(first, second);
}

}  // namespace

void arm_route_expiry(RouteExpiry& expiry, const RouteInUse& route, int64_t now_ms) {
    const bool same_route = route.in_use && route.ifindex == expiry.ifindex && route.gateway == expiry.gateway;
    const bool overdue = expiry.overdue_until_ms != 0;
    const bool had_lifetime = same_route && expiry.runs_out_ms != 0;
    // The route that ran out is passed over: its router may revive it unannounced.
    if (overdue && !same_route && expiry.revival_watch_ms > 0) {
        expiry.revival_until_ms = now_ms + expiry.revival_watch_ms;
    }
    if (!overdue || !same_route || now_ms >= expiry.overdue_until_ms) expiry.overdue_until_ms = 0;
    expiry.runs_out_ms = 0;
    if (route.in_use && route.lifetime_ms > 0) {
        expiry.runs_out_ms = now_ms + route.lifetime_ms;
        expiry.overdue_until_ms = 0;
    } else if (had_lifetime) {
        expiry.runs_out_ms = now_ms;
    }
    if (route.in_use) {
        expiry.ifindex = route.ifindex;
        expiry.gateway = route.gateway;
    } else {
        expiry.ifindex = -1;
        expiry.gateway = {};
    }
    if (now_ms >= expiry.revival_until_ms) expiry.revival_until_ms = 0;
    int64_t deadline = expiry.runs_out_ms;
    if (expiry.overdue_until_ms != 0) deadline = earliest(deadline, now_ms + overdue_poll_ms);
    if (expiry.revival_until_ms != 0) deadline = earliest(deadline, now_ms + revival_poll_ms);
    expiry.deadline_ms = deadline;
}

bool route_expiry_due(RouteExpiry& expiry, int64_t now_ms) {
    if (expiry.deadline_ms == 0 || now_ms < expiry.deadline_ms) return false;
    if (expiry.runs_out_ms != 0 && now_ms >= expiry.runs_out_ms) {
        expiry.overdue_until_ms = expiry.runs_out_ms + overdue_watch_ms;
        expiry.runs_out_ms = 0;
    }
    return true;
}

int64_t route_expiry_wait_ms(const RouteExpiry& expiry, int64_t now_ms) {
    if (expiry.deadline_ms == 0) return -1;
    return expiry.deadline_ms > now_ms ? expiry.deadline_ms - now_ms : 0;
}

int64_t monotonic_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * milliseconds_per_second + now.tv_nsec / nanoseconds_per_millisecond;
}
