#include "daemon/route_expiry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "daemon/port_retry.h"

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

constexpr int64_t gc_interval_ms = 30000;

TEST(RouteExpiry, TheEndOfTheRouteInUseIsWatchedThenItsRevivalUntilTheKernelWouldCollectIt) {
    RouteExpiry expiry;
    expiry.revival_watch_ms = gc_interval_ms;
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
    for (int64_t now = 16001; now < 15001 + gc_interval_ms; now += revival_poll_ms) ask_when_due(expiry, now, route(5));
    ask_when_due(expiry, 15001 + gc_interval_ms, route(5));
    EXPECT_EQ(route_expiry_wait_ms(expiry, 15001 + gc_interval_ms), -1);
}

TEST(RouteExpiry, WhereAdvertisementsAreSeenARoutePassedOverIsNotPolled) {
    RouteExpiry expiry;
    arm_route_expiry(expiry, route(3, 100), 0);
    ask_when_due(expiry, 100, route(5));
    EXPECT_EQ(route_expiry_wait_ms(expiry, 100), -1);
}

TEST(RouteExpiry, ALifetimeThatReadsZeroIsInItsLastHundredth) {
    RouteExpiry expiry;
    arm_route_expiry(expiry, route(3, 5000), 0);
    // Asked for another reason 4995 ms on: the kernel gives 0 hundredths left.
    arm_route_expiry(expiry, route(3), 4995);
    EXPECT_EQ(route_expiry_wait_ms(expiry, 4995), 0);
    ask_when_due(expiry, 4995, route(3));
    EXPECT_EQ(expiry.deadline_ms, 4995 + overdue_poll_ms) << "watched until the kernel moves";
    // Another route that never had a lifetime sets no timer.
    arm_route_expiry(expiry, route(7), 6000);
    arm_route_expiry(expiry, route(7), 6001);
    EXPECT_EQ(route_expiry_wait_ms(expiry, 6001), -1);
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

TEST(PortRetry, AFailedWriteIsTriedAgainAtDoublingIntervalsUpToAMinute) {
    PortRetry retry;
    schedule_port_retry(retry, true, 0);
    EXPECT_EQ(retry.due_ms, 0) << "a port the fastpath took";
    schedule_port_retry(retry, false, 100);
    EXPECT_EQ(retry.due_ms, 100 + port_retry_first_ms);
    // A decision's own failed write in between keeps the time.
    schedule_port_retry(retry, false, 600);
    EXPECT_EQ(retry.due_ms, 100 + port_retry_first_ms);
    int64_t now = retry.due_ms;
    int64_t interval = port_retry_first_ms;
    for (int attempt = 0; attempt < 10; ++attempt) {
        schedule_port_retry(retry, false, now);
        interval = std::min(interval * 2, port_retry_longest_ms);
        EXPECT_EQ(retry.due_ms - now, interval) << attempt;
        now = retry.due_ms;
    }
    EXPECT_EQ(interval, port_retry_longest_ms);
    schedule_port_retry(retry, true, now);
    EXPECT_EQ(retry.due_ms, 0);
    schedule_port_retry(retry, false, now + 5);
    EXPECT_EQ(retry.due_ms, now + 5 + port_retry_first_ms) << "a new failure starts over";
}
