#include "netlink/default_route.h"

#include <gtest/gtest.h>

#include <tuple>

#include "netlink/route_message.h"
#include "netlink_bytes.h"

using namespace crafted;

namespace {

int parse(const Buffer& message) { return parse_default_route(view(message), names_socket()); }

const int lo = static_cast<int>(loopback_index());

}  // namespace

TEST(ParseDefaultRoute, NeedsAZeroLengthDestinationAGatewayAndANamedOutputInterface) {
    ASSERT_GT(lo, 0);
    EXPECT_EQ(parse(default_route(lo)), lo);
    EXPECT_EQ(parse(default_route(lo, RTM_DELROUTE)), lo) << "the message type is not looked at";
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 64, {gateway(), oif(lo)})), -1) << "not a default route";
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {oif(lo)})), -1) << "device-only route";
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {gateway()})), -1) << "no output interface";
    EXPECT_EQ(parse(default_route(missing_index)), -1) << "output interface without a name";
}

TEST(ParseDefaultRoute, TheLastOutputInterfaceWins) {
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {oif(missing_index), gateway(), oif(lo)})), lo);
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {oif(lo), gateway(), oif(missing_index)})), -1);
}

TEST(ParseDefaultRoute, IgnoresAttributesTooShortForTheirType) {
    Attribute short_oif{RTA_OIF, Buffer(2)};
    Attribute short_gateway{RTA_GATEWAY, Buffer(4, std::byte{0xfe})};
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {gateway(), short_oif})), -1);
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {short_gateway, oif(lo)})), -1);
    // Other attributes of any size are stepped over.
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {Attribute{RTA_PRIORITY, Buffer(1)}, gateway(), oif(lo)})), lo);
}

TEST(ParseDefaultRoute, StopsAtZeroLengthAndOverlongAttributes) {
    Attribute zero_length{RTA_TABLE, {}, -4};  // rta_len 0
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {gateway(), zero_length, oif(lo)})), -1);
    Attribute overlong{RTA_TABLE, Buffer(4), 200};  // claims far more than the message holds
    EXPECT_EQ(parse(route_message(RTM_NEWROUTE, 0, {gateway(), overlong, oif(lo)})), -1);
}

TEST(ParseDefaultRoute, ReadsACutMessageOnlyAsFarAsItsBytesGo) {
    const Buffer whole = route_message(RTM_NEWROUTE, 0, {gateway(), oif(lo), Attribute{RTA_TABLE, Buffer(64)}});
    // Cut after the output interface: what arrived still describes the route.
    const size_t through_oif = 28 + 20 + 8;
    EXPECT_EQ(parse_default_route(view(whole).first(through_oif), names_socket()), lo);
    // Cut inside the output interface attribute.
    EXPECT_EQ(parse_default_route(view(whole).first(through_oif - 2), names_socket()), -1);
    // Too short for the rtmsg itself.
    EXPECT_EQ(parse_default_route(view(whole).first(27), names_socket()), -1);
}

TEST(ParseDefaultRoute, ReadsNoAttributeBeyondTheMessagesOwnLength) {
    Buffer message = route_message(RTM_NEWROUTE, 0, {gateway(), oif(lo)});
    // Say the message ends before its output interface; the bytes are still there.
    const uint32_t shortened = 28 + 20;
    std::memcpy(message.data(), &shortened, sizeof shortened);
    EXPECT_EQ(parse(message), -1);
}

TEST(RouteMessage, ReadsEveryFormOfNexthop) {
    RouteMessage route;
    ASSERT_TRUE(read_route_message(view(route_message(RTM_NEWROUTE, 0, {gateway(), oif(7)})), route));
    EXPECT_EQ(route.nexthop.ifindex, 7);
    EXPECT_TRUE(route.nexthop.has_gateway());
    EXPECT_TRUE(route.multipath.empty());

    // Multipath: no nexthop of its own; each member has its interface, gateway and flags.
    const Buffer spread = route_message(RTM_NEWROUTE, 0,
                                        {multipath({multipath_nexthop(3), multipath_nexthop(4, false),
                                                    multipath_nexthop(5, true, RTNH_F_DEAD)})});
    ASSERT_TRUE(read_route_message(view(spread), route));
    EXPECT_EQ(route.nexthop.ifindex, 0);
    EXPECT_FALSE(route.nexthop.has_gateway());
    std::vector<std::tuple<int, bool, bool>> members;
    Bytes rest = route.multipath;
    RouteNexthop nexthop;
    while (next_route_nexthop(rest, nexthop)) members.emplace_back(nexthop.ifindex, nexthop.has_gateway(), nexthop.dead);
    EXPECT_EQ(members, (std::vector<std::tuple<int, bool, bool>>{{3, true, false}, {4, false, false}, {5, true, true}}));

    // A route over a nexthop object names only the object.
    ASSERT_TRUE(read_route_message(view(route_message(RTM_NEWROUTE, 0, {u32_attribute(RTA_NH_ID, 42)})), route));
    EXPECT_EQ(route.nexthop_object, 42u);
    EXPECT_EQ(route.nexthop.ifindex, 0);
    EXPECT_EQ(parse_default_route(view(route_message(RTM_NEWROUTE, 0, {u32_attribute(RTA_NH_ID, 42)})), names_socket()), -1);
}

TEST(RouteMessage, ReadsTheTableTheMetricTheLifetimeLeftAndTheLinkState) {
    rta_cacheinfo lifetime{};
    lifetime.rta_expires = 473;
    Attribute cacheinfo{RTA_CACHEINFO, {}};
    put(cacheinfo.payload, lifetime);
    const Buffer bytes = route_message(RTM_NEWROUTE, 0, {u32_attribute(RTA_TABLE, 1234), gateway(), oif(7),
                                                         u32_attribute(RTA_PRIORITY, 100), cacheinfo});
    RouteMessage route;
    ASSERT_TRUE(read_route_message(view(bytes), route));
    EXPECT_EQ((std::tuple{route.table, route.metric, route.expires_ticks}), (std::tuple{1234u, 100u, 473}));

    // Without RTA_TABLE, rtm_table tells; a cacheinfo cut short is no lifetime.
    Attribute cut{RTA_CACHEINFO, Buffer(8, std::byte{0xff})};
    ASSERT_TRUE(read_route_message(view(route_message(RTM_NEWROUTE, 0, {gateway(), oif(7), cut})), route));
    EXPECT_EQ((std::tuple{route.table, route.expires_ticks}), (std::tuple{uint32_t{RT_TABLE_MAIN}, 0}));

    // A member without carrier; dead too where the kernel ignores such routes.
    const Buffer spread = route_message(RTM_NEWROUTE, 0, {multipath({multipath_nexthop(3, true, RTNH_F_LINKDOWN),
                                                                      multipath_nexthop(4, true, RTNH_F_LINKDOWN |
                                                                                                     RTNH_F_DEAD)})});
    ASSERT_TRUE(read_route_message(view(spread), route));
    std::vector<std::pair<bool, bool>> states;
    Bytes rest = route.multipath;
    RouteNexthop nexthop;
    while (next_route_nexthop(rest, nexthop)) states.emplace_back(nexthop.linkdown, nexthop.dead);
    EXPECT_EQ(states, (std::vector<std::pair<bool, bool>>{{true, false}, {true, true}}));
}

TEST(RouteMessage, AMultipathWalkStopsAtABrokenOrCutMember) {
    Buffer second = multipath_nexthop(4);
    Buffer broken = multipath_nexthop(5);
    set_at<uint16_t>(broken, 0, 4);  // rtnh_len below the record's own size
    const Buffer whole = route_message(RTM_NEWROUTE, 0, {multipath({multipath_nexthop(3), second, broken,
                                                                     multipath_nexthop(6)})});
    RouteMessage route;
    ASSERT_TRUE(read_route_message(view(whole), route));
    std::vector<int> seen;
    Bytes rest = route.multipath;
    RouteNexthop nexthop;
    while (next_route_nexthop(rest, nexthop)) seen.push_back(nexthop.ifindex);
    EXPECT_EQ(seen, (std::vector<int>{3, 4}));

    // Cut inside the second member: only the first is read, and nothing past the bytes.
    const size_t through_first = 28 + 4 + multipath_nexthop(3).size() + 10;
    ASSERT_TRUE(read_route_message(view(whole).first(through_first), route));
    seen.clear();
    rest = route.multipath;
    while (next_route_nexthop(rest, nexthop)) seen.push_back(nexthop.ifindex);
    EXPECT_TRUE(seen.empty()) << "RTA_MULTIPATH itself no longer fits the bytes";
}
