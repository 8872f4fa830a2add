#include "daemon/uplink_rules.h"

#include <gtest/gtest.h>

#include "daemon/running_links.h"
#include "netlink/neighbour_message.h"
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

TEST(UplinkRules, OnlyARoutersOrTheGatewaysNeighbourEntryMayMoveTheKernelsChoice) {
    const auto asks = [](const Buffer& message) {
        NeighbourMessage neighbour;
        EXPECT_TRUE(read_neighbour_message(view(message), neighbour));
        GatewayAddress gateway;
        EXPECT_TRUE(read_gateway_address(view(Buffer(16, std::byte{0xfe})), gateway));
        gateway.bytes[15] = std::byte{1};
        return neighbour_may_rank_routers(neighbour, 4, gateway);
    };
    EXPECT_TRUE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, NUD_FAILED, NTF_ROUTER, 2)));
    EXPECT_TRUE(asks(neighbour_message(RTM_DELNEIGH, AF_INET6, 9, NUD_STALE, NTF_ROUTER, 2))) << "a router's entry goes";
    EXPECT_TRUE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 4, NUD_FAILED, 0, 1))) << "the gateway, unflagged";
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, NUD_FAILED, 0, 1))) << "the same address elsewhere";
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 4, NUD_FAILED, 0, 2))) << "a host fails";
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 4, NUD_REACHABLE, 0, 3)));
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET, 4, NUD_FAILED, NTF_ROUTER)));
}

TEST(RunningLinks, OnlyALinkNotKnownToRunStarts) {
    RunningLinks links;
    const int dumped[] = {3, 7};
    replace_running_links(links, Bytes{reinterpret_cast<const std::byte*>(dumped), sizeof dumped});
    EXPECT_FALSE(note_link_running(links, 7)) << "an MTU change of a running link";
    note_link_stopped(links, 3);
    EXPECT_TRUE(note_link_running(links, 3)) << "it runs again";
    EXPECT_FALSE(note_link_running(links, 7)) << "removing one kept the others";
    // A POP with hundreds of tunnels: each is known once it runs, the last as the first.
    for (int index = 1000; index > 100; --index) note_link_running(links, index);
    EXPECT_FALSE(note_link_running(links, 101));
    EXPECT_FALSE(note_link_running(links, 1000));
    EXPECT_TRUE(note_link_running(links, 99999));
    EXPECT_FALSE(note_link_running(links, 99999));
}
