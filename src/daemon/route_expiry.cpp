#include "daemon/route_expiry.h"

#include <ctime>

namespace {

constexpr int64_t milliseconds_per_second = 1000;
constexpr int64_t nanoseconds_per_millisecond = 1000000;

}  // namespace

void arm_route_expiry(RouteExpiry& expiry, bool in_use, int64_t lifetime_ms, int64_t now_ms) {
    if (in_use && lifetime_ms > 0) {
        expiry = {now_ms + lifetime_ms, 0};
        return;
    }
    // A route in use with no lifetime left to count is about to go, if a deadline
    // brought the question; otherwise it has no lifetime at all.
    if (in_use && now_ms < expiry.overdue_until_ms) {
        expiry.deadline_ms = now_ms + overdue_poll_ms;
        return;
    }
    expiry = {};
}

bool route_expiry_due(RouteExpiry& expiry, int64_t now_ms) {
    if (expiry.deadline_ms == 0 || now_ms < expiry.deadline_ms) return false;
    if (expiry.overdue_until_ms == 0) expiry.overdue_until_ms = expiry.deadline_ms + overdue_watch_ms;
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
