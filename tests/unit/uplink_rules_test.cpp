#include "daemon/uplink_rules.h"

#include <gtest/gtest.h>

#include "netlink_bytes.h"

using namespace crafted;

namespace {

NodeConfig pop(const char* pop_iface, const char* routed_nic) {
    NodeConfig config;
    config.is_pop = true;
    std::strcpy(config.pop_iface, pop_iface);
    std::strcpy(config.routed_nic, routed_nic);
    return config;
}

constexpr uint32_t running = IFF_UP | IFF_RUNNING;

}  // namespace

TEST(UplinkRules, ALinkMayTakeRoutesWhenItGoesDownOrAwayButNotWhileComingUp) {
    EXPECT_TRUE(link_may_take_routes(RTM_DELLINK, running, 0));
    EXPECT_TRUE(link_may_take_routes(RTM_NEWLINK, 0, IFF_UP)) << "set down";
    EXPECT_TRUE(link_may_take_routes(RTM_NEWLINK, IFF_UP, 0)) << "carrier lost";
    EXPECT_FALSE(link_may_take_routes(RTM_NEWLINK, IFF_UP, IFF_UP)) << "just set up, its carrier not yet seen";
    EXPECT_FALSE(link_may_take_routes(RTM_NEWLINK, running, 0));
    EXPECT_FALSE(link_may_take_routes(RTM_NEWLINK, running, IFF_UP));
}

TEST(UplinkRules, TavroLinksReplaceALostPortOnlyOnAPopWithoutAUsableRoutedNic) {
    EXPECT_TRUE(tavro_replaces_lost_uplink(pop("nic0", "")));
    EXPECT_TRUE(tavro_replaces_lost_uplink(pop("nic0", "nic0"))) << "a routed nic the POP interface begins";
    EXPECT_FALSE(tavro_replaces_lost_uplink(pop("nic0", "nic1"))) << "a usable routed nic has no fallback";
    NodeConfig plain = pop("nic0", "");
    plain.is_pop = false;
    EXPECT_FALSE(tavro_replaces_lost_uplink(plain));
}

TEST(UplinkRules, OnAPopARunningTavroOrRoutedNicTakesTheUplink) {
    const NodeConfig tavro_pop = pop("nic0", "");
    EXPECT_TRUE(link_takes_uplink("tavro3", running, tavro_pop));
    EXPECT_TRUE(link_takes_uplink("tavro15", running, tavro_pop));
    EXPECT_FALSE(link_takes_uplink("tavro3", IFF_UP, tavro_pop)) << "up without carrier";
    EXPECT_FALSE(link_takes_uplink("tavr", running, tavro_pop));
    EXPECT_FALSE(link_takes_uplink("eth0", running, tavro_pop));
    EXPECT_FALSE(link_takes_uplink("", running, tavro_pop)) << "a link that has gone";

    NodeConfig plain = tavro_pop;
    plain.is_pop = false;
    EXPECT_FALSE(link_takes_uplink("tavro3", running, plain));

    const NodeConfig routed = pop("nic0", "nic1");
    EXPECT_TRUE(link_takes_uplink("nic1", running, routed));
    EXPECT_FALSE(link_takes_uplink("nic0", running, routed));
    EXPECT_FALSE(link_takes_uplink("nic1", IFF_UP, routed));
    EXPECT_TRUE(link_takes_uplink("tavro0", running, routed)) << "a tavro link still moves the port";

    // A routed nic that the POP interface begins is never usable.
    EXPECT_FALSE(link_takes_uplink("nic0", running, pop("nic0", "nic0")));
    EXPECT_FALSE(link_takes_uplink("nic01", running, pop("nic0", "nic01")));
    EXPECT_FALSE(link_takes_uplink("nic1", running, pop("", "nic1")));
}
