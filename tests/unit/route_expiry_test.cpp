#include "daemon/route_expiry.h"

#include <gtest/gtest.h>

namespace {

RouteInUse route(int ifindex, int64_t lifetime_ms = 0) {
    RouteInUse made{true, ifindex, {}, lifetime_ms};
    made.gateway.bytes[0] = std::byte{0xfe};
    return made;
}

// Asks again when the timer is due, as the event loop does, with the kernel's answer.
void ask_when_due(RouteExpiry& expiry, int64_t now, const RouteInUse& answer) {
    ASSERT_TRUE(route_expiry_due(expiry, now)) << now;
    arm_route_expiry(expiry, answer, now);
}

}  // namespace

TEST(RouteExpiry, TheEndOfTheRouteInUseIsWatchedThenItsRevivalUntilTheKernelWouldCollectIt) {
    RouteExpiry expiry;
    arm_route_expiry(expiry, route(3), 0);
    EXPECT_EQ(route_expiry_wait_ms(expiry, 0), -1) << "no lifetime, no timer";
    arm_route_expiry(expiry, route(3, 8000), 1000);
    EXPECT_FALSE(route_expiry_due(expiry, 8999));
    // An advertisement renewed the lifetime unannounced: only the new end counts.
    ask_when_due(expiry, 9000, route(3, 6000));
    EXPECT_EQ(expiry.deadline_ms, 15000);
    // At its end the kernel, whose ticks are coarser, still uses it: asked each millisecond.
    ask_when_due(expiry, 15000, route(3));
    EXPECT_EQ(expiry.deadline_ms, 15000 + overdue_poll_ms);
    // It moves to the backup: each second, whether the primary has come back.
    ask_when_due(expiry, 15001, route(5));
    for (int64_t now = 16001; now < 15001 + revival_watch_ms; now += revival_poll_ms) ask_when_due(expiry, now, route(5));
    ask_when_due(expiry, 15001 + revival_watch_ms, route(5));
    EXPECT_EQ(route_expiry_wait_ms(expiry, 15001 + revival_watch_ms), -1);
}

TEST(RouteExpiry, ARouteStillInUsePastItsEndHadNoLifetimeLeftToCount) {
    RouteExpiry expiry;
    arm_route_expiry(expiry, route(3, 100), 0);
    for (int64_t now = 100; now < 100 + overdue_watch_ms; now += overdue_poll_ms) ask_when_due(expiry, now, route(3));
    ask_when_due(expiry, 100 + overdue_watch_ms, route(3));
    EXPECT_EQ(route_expiry_wait_ms(expiry, 100 + overdue_watch_ms), -1) << "nor a revival to watch for";

    // A backup with a lifetime of its own: whichever comes first, its end or a revival poll.
    arm_route_expiry(expiry, route(3, 100), 1000);
    ask_when_due(expiry, 1100, route(5, 400));
    EXPECT_EQ(expiry.deadline_ms, 1500);
}
