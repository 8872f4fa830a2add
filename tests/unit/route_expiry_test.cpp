#include "daemon/route_expiry.h"

#include <gtest/gtest.h>

namespace {

GatewayAddress address(unsigned char last) {
    GatewayAddress made;
    made.bytes[0] = std::byte{0xfe};
    made.bytes[15] = std::byte{last};
    return made;
}

const RouteInUse primary{true, 3, address(1), 0};
const RouteInUse backup{true, 5, address(2), 0};

RouteInUse with_lifetime(RouteInUse route, int64_t lifetime_ms) {
    route.lifetime_ms = lifetime_ms;
    return route;
}

}  // namespace

TEST(RouteExpiry, ARouteWithoutALifetimeHasNoTimer) {
    RouteExpiry expiry;
    arm_route_expiry(expiry, primary, 1000);
    EXPECT_EQ(route_expiry_wait_ms(expiry, 1000), -1);
    arm_route_expiry(expiry, RouteInUse{}, 1000);
    EXPECT_EQ(route_expiry_wait_ms(expiry, 1000), -1);
}

TEST(RouteExpiry, TheEndOfTheRouteInUseIsWatchedUntilTheKernelPassesItOver) {
    RouteExpiry expiry;
    arm_route_expiry(expiry, with_lifetime(primary, 8000), 1000);
    EXPECT_EQ(route_expiry_wait_ms(expiry, 1000), 8000);
    EXPECT_FALSE(route_expiry_due(expiry, 8999));
    // An advertisement renewed the lifetime unannounced: only the new end counts.
    ASSERT_TRUE(route_expiry_due(expiry, 9000));
    arm_route_expiry(expiry, with_lifetime(primary, 6000), 9000);
    EXPECT_EQ(expiry.deadline_ms, 15000);

    // At its end the kernel, whose ticks are coarser, still uses it with no
    // lifetime left: it is asked again each millisecond.
    ASSERT_TRUE(route_expiry_due(expiry, 15000));
    arm_route_expiry(expiry, primary, 15000);
    EXPECT_EQ(expiry.deadline_ms, 15001);
    ASSERT_TRUE(route_expiry_due(expiry, 15001));
    arm_route_expiry(expiry, primary, 15001);
    EXPECT_EQ(expiry.deadline_ms, 15002);

    // The kernel moves to the backup, which has no lifetime: the primary may come
    // back unannounced until the kernel would have collected it.
    ASSERT_TRUE(route_expiry_due(expiry, 15004));
    arm_route_expiry(expiry, backup, 15004);
    EXPECT_EQ(expiry.deadline_ms, 15004 + revival_poll_ms);
    for (int64_t now = 16004; now < 15004 + revival_watch_ms; now += revival_poll_ms) {
        ASSERT_TRUE(route_expiry_due(expiry, now));
        arm_route_expiry(expiry, backup, now);
    }
    ASSERT_TRUE(route_expiry_due(expiry, 15004 + revival_watch_ms));
    arm_route_expiry(expiry, backup, 15004 + revival_watch_ms);
    EXPECT_EQ(route_expiry_wait_ms(expiry, 15004 + revival_watch_ms), -1) << "then no timer is left";
}

TEST(RouteExpiry, ARouteThatStaysInUsePastItsEndHadNoLifetimeLeftToCount) {
    RouteExpiry expiry;
    arm_route_expiry(expiry, with_lifetime(primary, 100), 0);
    ASSERT_TRUE(route_expiry_due(expiry, 100));
    for (int64_t now = 100; now < 100 + overdue_watch_ms; now += overdue_poll_ms) {
        arm_route_expiry(expiry, primary, now);
        ASSERT_TRUE(route_expiry_due(expiry, now + overdue_poll_ms));
    }
    arm_route_expiry(expiry, primary, 100 + overdue_watch_ms);
    EXPECT_EQ(route_expiry_wait_ms(expiry, 100 + overdue_watch_ms), -1) << "nor a revival to watch for";
}

TEST(RouteExpiry, ABackupWithALifetimeOfItsOwnKeepsBothWatches) {
    RouteExpiry expiry;
    arm_route_expiry(expiry, with_lifetime(primary, 100), 0);
    ASSERT_TRUE(route_expiry_due(expiry, 100));
    arm_route_expiry(expiry, with_lifetime(backup, 1500), 102);
    EXPECT_EQ(expiry.deadline_ms, 102 + revival_poll_ms);
    ASSERT_TRUE(route_expiry_due(expiry, 1102));
    arm_route_expiry(expiry, with_lifetime(backup, 500), 1102);
    EXPECT_EQ(expiry.deadline_ms, 1602) << "the backup's end comes before the next revival poll";
}
