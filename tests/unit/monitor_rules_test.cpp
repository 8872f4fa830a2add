#include "netlink/monitor_rules.h"

#include <gtest/gtest.h>

#include "netlink_bytes.h"

using namespace crafted;

namespace {

std::vector<uint16_t> notification_types(const Buffer& bytes) {
    Notification found[max_notifications];
    const size_t count = notifications_in(view(bytes), found);
    std::vector<uint16_t> types;
    for (size_t i = 0; i < count; ++i) {
        types.push_back(found[i].type);
        EXPECT_EQ(found[i].kind, found[i].type == RTM_NEWLINK ? NotificationKind::link : NotificationKind::route);
    }
    return types;
}

UplinkState pop(const char* pop_iface, const char* routed_nic) {
    UplinkState state;
    state.is_pop = true;
    std::strcpy(state.pop_iface, pop_iface);
    std::strcpy(state.routed_nic, routed_nic);
    return state;
}

constexpr uint32_t running = IFF_UP | IFF_RUNNING;

}  // namespace

TEST(MonitorRules, HandsOnEveryRouteAndLinkMessageOfADatagramInOrder) {
    const Buffer bytes = datagram({default_route(1), message(RTM_NEWADDR, 0, Buffer(8)), link_message(2, running),
                                   message(RTM_DELLINK, 0, Buffer(16)), default_route(1, RTM_DELROUTE),
                                   message(NLMSG_DONE, 0, Buffer(4))});
    EXPECT_EQ(notification_types(bytes), (std::vector<uint16_t>{RTM_NEWROUTE, RTM_NEWLINK, RTM_DELROUTE}));
}

TEST(MonitorRules, EndsTheWalkOnABrokenHeaderAndKeepsACutLastMessage) {
    Buffer bytes = datagram({default_route(1), link_message(2, running), default_route(3)});
    const size_t third = default_route(1).size() + link_message(2, running).size();
    bytes[third] = std::byte{12};  // nlmsg_len 12
    bytes[third + 1] = std::byte{0};
    EXPECT_EQ(notification_types(bytes), (std::vector<uint16_t>{RTM_NEWROUTE, RTM_NEWLINK}));

    // A link notification cut by the receive buffer still gives its index and flags.
    Buffer cut = datagram({default_route(1), link_message(7, running, 1500)});
    cut.resize(monitor_buffer_size);
    Notification found[max_notifications];
    ASSERT_EQ(notifications_in(view(cut), found), 2u);
    int ifindex = 0;
    uint32_t flags = 0;
    ASSERT_TRUE(read_link_header(found[1].message, ifindex, flags));
    EXPECT_EQ(ifindex, 7);
    EXPECT_EQ(flags, running);
    EXPECT_FALSE(read_link_header(view(cut).subspan(default_route(1).size()).first(27), ifindex, flags));
}

TEST(MonitorRules, ARouteMessageMeansSomethingOnlyAgainstTheRecordedInterface) {
    EXPECT_EQ(route_event(RTM_NEWROUTE, 4, 4), RouteEvent::ignored) << "same interface, any gateway";
    EXPECT_EQ(route_event(RTM_DELROUTE, 4, 4), RouteEvent::gateway_deleted);
    EXPECT_EQ(route_event(RTM_NEWROUTE, 5, 4), RouteEvent::new_gateway);
    EXPECT_EQ(route_event(RTM_NEWROUTE, 5, -1), RouteEvent::new_gateway);
    EXPECT_EQ(route_event(RTM_DELROUTE, 5, 4), RouteEvent::ignored) << "not the current gateway";
}

TEST(MonitorRules, OnAPopARunningTavroOrRoutedNicTakesTheUplink) {
    const UplinkState tavro_pop = pop("nic0", "");
    EXPECT_TRUE(link_takes_uplink("tavro3", running, tavro_pop));
    EXPECT_TRUE(link_takes_uplink("tavro15", running, tavro_pop));
    EXPECT_FALSE(link_takes_uplink("tavro3", IFF_UP, tavro_pop)) << "up without carrier";
    EXPECT_FALSE(link_takes_uplink("tavr", running, tavro_pop));
    EXPECT_FALSE(link_takes_uplink("eth0", running, tavro_pop));
    EXPECT_FALSE(link_takes_uplink("", running, tavro_pop)) << "a link that has gone";

    UplinkState plain = tavro_pop;
    plain.is_pop = false;
    EXPECT_FALSE(link_takes_uplink("tavro3", running, plain));

    const UplinkState routed = pop("nic0", "nic1");
    EXPECT_TRUE(link_takes_uplink("nic1", running, routed));
    EXPECT_FALSE(link_takes_uplink("nic0", running, routed));
    EXPECT_FALSE(link_takes_uplink("nic1", IFF_UP, routed));
    EXPECT_TRUE(link_takes_uplink("tavro0", running, routed)) << "a tavro link still moves the port";

    // A routed nic that the POP interface begins is never usable.
    EXPECT_FALSE(link_takes_uplink("nic0", running, pop("nic0", "nic0")));
    EXPECT_FALSE(link_takes_uplink("nic01", running, pop("nic0", "nic01")));
    EXPECT_FALSE(link_takes_uplink("nic1", running, pop("", "nic1")));
}
