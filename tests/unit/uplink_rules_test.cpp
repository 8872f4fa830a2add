#include "daemon/uplink_rules.h"

#include <gtest/gtest.h>
#include <linux/netconf.h>

#include "daemon/link_groups.h"
#include "daemon/running_links.h"
#include "netlink/neighbour_message.h"
#include "netlink/netconf_message.h"
#include "netlink/rule_message.h"
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

TEST(UplinkRules, AnEntryEnteringOrLeavingFailedOrTheGatewaysMayMoveTheKernelsChoice) {
    FailedNeighbours failed;
    const auto asks = [&failed](const Buffer& message) {
        NeighbourMessage neighbour;
        EXPECT_TRUE(read_neighbour_message(view(message), neighbour));
        GatewayAddress gateway;
        EXPECT_TRUE(read_gateway_address(view(Buffer(16, std::byte{0xfe})), gateway));
        gateway.bytes[15] = std::byte{1};
        return neighbour_may_rank_routers(read_at<nlmsghdr>(view(message), 0).nlmsg_type, neighbour, failed, 4, gateway);
    };
    // A busy LAN's hosts, and routers that never fail, cost nothing, whatever their flags.
    for (const uint16_t state : {NUD_INCOMPLETE, NUD_REACHABLE, NUD_STALE, NUD_DELAY, NUD_PROBE}) {
        EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, state, 0, 2)));
        EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, state, NTF_ROUTER, 3)));
    }
    EXPECT_FALSE(asks(neighbour_message(RTM_DELNEIGH, AF_INET6, 9, NUD_STALE, NTF_ROUTER, 3)));
    // A router whose answers carry no router flag fails, fails again after the
    // kernel's own probe, and answers once more.
    EXPECT_TRUE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, NUD_FAILED, 0, 2)));
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, NUD_FAILED, 0, 2)));
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 8, NUD_STALE, 0, 2))) << "the same address elsewhere";
    EXPECT_TRUE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, NUD_STALE, 0, 2)));
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, NUD_REACHABLE, 0, 2)));
    // A failed entry deleted, seen failing or not: a deletion says the state it had.
    EXPECT_TRUE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, NUD_FAILED, 0, 5)));
    EXPECT_TRUE(asks(neighbour_message(RTM_DELNEIGH, AF_INET6, 9, NUD_FAILED, 0, 5)));
    EXPECT_TRUE(failed.entries.empty()) << "the set grows with failed entries, not with messages";
    EXPECT_TRUE(asks(neighbour_message(RTM_DELNEIGH, AF_INET6, 9, NUD_FAILED, 0, 6)));
    // The gateway's own entry, in any state.
    EXPECT_TRUE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 4, NUD_REACHABLE, 0, 1)));
    EXPECT_TRUE(asks(neighbour_message(RTM_DELNEIGH, AF_INET6, 4, NUD_STALE, 0, 1)));
    // Other families, and proxy entries, which answer for others.
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET, 4, NUD_FAILED, NTF_ROUTER)));
    EXPECT_FALSE(asks(neighbour_message(RTM_NEWNEIGH, AF_INET6, 9, NUD_FAILED, NTF_PROXY, 7)));
}

TEST(UplinkRules, OnlyForwardingOfTheNodeOrIgnoringRoutesWithoutCarrierRanksRoutesAnew) {
    const auto asks = [](uint16_t type, int ifindex, std::initializer_list<uint16_t> settings) {
        Buffer body(4);
        body[0] = std::byte{AF_INET6};
        const auto add = [&body](uint16_t attribute_type, int32_t value) {
            put(body, rtattr{8, attribute_type});
            put(body, value);
        };
        add(NETCONFA_IFINDEX, ifindex);
        for (const uint16_t setting : settings) add(setting, 1);
        const Buffer bytes = message(type, 0, body);
        NetconfMessage netconf;
        EXPECT_TRUE(read_netconf_message(view(bytes), netconf));
        return netconf_may_rank_routes(type, netconf);
    };
    EXPECT_TRUE(asks(RTM_NEWNETCONF, NETCONFA_IFINDEX_ALL, {NETCONFA_FORWARDING}));
    EXPECT_FALSE(asks(RTM_NEWNETCONF, 4, {NETCONFA_FORWARDING})) << "the kernel reads the node's alone";
    EXPECT_FALSE(asks(RTM_NEWNETCONF, NETCONFA_IFINDEX_DEFAULT, {NETCONFA_FORWARDING}));
    EXPECT_TRUE(asks(RTM_NEWNETCONF, 4, {NETCONFA_IGNORE_ROUTES_WITH_LINKDOWN}));
    EXPECT_TRUE(asks(RTM_NEWNETCONF, NETCONFA_IFINDEX_ALL, {NETCONFA_IGNORE_ROUTES_WITH_LINKDOWN}));
    EXPECT_FALSE(asks(RTM_NEWNETCONF, NETCONFA_IFINDEX_ALL, {NETCONFA_PROXY_NEIGH}));
    EXPECT_FALSE(asks(RTM_NEWNETCONF, 4,
                      {NETCONFA_FORWARDING, NETCONFA_PROXY_NEIGH, NETCONFA_IGNORE_ROUTES_WITH_LINKDOWN}))
        << "a new interface's settings, all at once";
    EXPECT_FALSE(asks(RTM_DELNETCONF, 4, {NETCONFA_IGNORE_ROUTES_WITH_LINKDOWN}));

    AddressMessage address{AF_INET6, 4};
    EXPECT_TRUE(address_loss_may_take_routes(RTM_DELADDR, address));
    EXPECT_FALSE(address_loss_may_take_routes(RTM_NEWADDR, address));
    address.family = AF_INET;
    EXPECT_FALSE(address_loss_may_take_routes(RTM_DELADDR, address));
}

TEST(UplinkRules, AnAddressAddedOrAGroupChangedAsksOnlyWhereARuleMayWeighIt) {
    const RuleMessage finds{AF_INET6, true};
    EXPECT_EQ(source_rules_after(0, RTM_NEWRULE, finds), 1);
    EXPECT_EQ(source_rules_after(2, RTM_DELRULE, finds), 1);
    EXPECT_EQ(source_rules_after(0, RTM_DELRULE, finds), 0) << "one the refresh never counted";
    EXPECT_EQ(source_rules_after(1, RTM_NEWRULE, RuleMessage{AF_INET, true}), 1);
    EXPECT_EQ(source_rules_after(1, RTM_DELRULE, RuleMessage{AF_INET6, false}), 1);
    const AddressMessage added{AF_INET6, 4};
    EXPECT_TRUE(address_may_rank_routes(RTM_NEWADDR, added, 1));
    EXPECT_FALSE(address_may_rank_routes(RTM_NEWADDR, added, 0));
    EXPECT_FALSE(address_may_rank_routes(RTM_DELADDR, added, 1)) << "a loss asks as a loss";

    LinkGroups groups;
    const GroupedLink dumped[] = {{9, 7}, {3, 2}};
    replace_link_groups(groups, Bytes{reinterpret_cast<const std::byte*>(dumped), sizeof dumped});
    EXPECT_FALSE(note_link_group(groups, 9, 7)) << "any other change of a grouped link";
    EXPECT_FALSE(note_link_group(groups, 5, 0)) << "a link of the default group";
    EXPECT_TRUE(note_link_group(groups, 3, 0)) << "back to the default group, as the dump had it";
    EXPECT_TRUE(note_link_group(groups, 9, 8));
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
