#include "netlink/notification_walk.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "netlink/link_message.h"
#include "netlink/neighbour_message.h"
#include "netlink_bytes.h"

using namespace crafted;

namespace {

std::vector<Notification> notifications_in(const Buffer& bytes) {
    std::vector<Notification> found;
    Bytes rest = view(bytes);
    Notification notification{};
    while (next_notification(rest, notification)) found.push_back(notification);
    return found;
}

std::vector<uint16_t> notification_types(const Buffer& bytes) {
    std::vector<uint16_t> types;
    for (const Notification& found : notifications_in(bytes)) {
        types.push_back(found.type);
        const bool link = found.type == RTM_NEWLINK || found.type == RTM_DELLINK;
        EXPECT_EQ(found.kind, link ? NotificationKind::link : NotificationKind::route);
    }
    return types;
}

constexpr uint32_t running = IFF_UP | IFF_RUNNING;

}  // namespace

TEST(NotificationWalk, HandsOnEveryRouteAndLinkMessageOfADatagramInOrder) {
    const Buffer bytes = datagram({default_route(1), message(RTM_NEWQDISC, 0, Buffer(20)), link_message(2, running),
                                   message(RTM_DELLINK, 0, Buffer(16)), default_route(1, RTM_DELROUTE),
                                   message(NLMSG_DONE, 0, Buffer(4))});
    EXPECT_EQ(notification_types(bytes), (std::vector<uint16_t>{RTM_NEWROUTE, RTM_NEWLINK, RTM_DELLINK, RTM_DELROUTE}));
}

TEST(NotificationWalk, EndsTheWalkOnABrokenHeaderAndKeepsACutLastMessage) {
    Buffer bytes = datagram({default_route(1), link_message(2, running), default_route(3)});
    const size_t third = default_route(1).size() + link_message(2, running).size();
    set_length(bytes, third, 12);
    EXPECT_EQ(notification_types(bytes), (std::vector<uint16_t>{RTM_NEWROUTE, RTM_NEWLINK}));

    // A link notification cut short still gives its index and flags.
    Buffer cut = datagram({default_route(1), link_message(7, running, 1500)});
    cut.resize(1040);
    const std::vector<Notification> found = notifications_in(cut);
    ASSERT_EQ(found.size(), 2U);
    LinkHeader link;
    ASSERT_TRUE(read_link_header(found[1].message, link));
    EXPECT_EQ(link.ifindex, 7);
    EXPECT_EQ(link.flags, running);
    EXPECT_FALSE(read_link_header(view(cut).subspan(default_route(1).size()).first(27), link));
}

TEST(NotificationWalk, HandsOnLinkDeletionsNexthopObjectsNeighboursRulesAddressesAndNetconfToo) {
    const Buffer bytes = datagram({message(RTM_DELLINK, 0, Buffer(16)), message(RTM_NEWNEXTHOP, 0, Buffer(8)),
                                   message(RTM_DELNEXTHOP, 0, Buffer(8)), message(RTM_NEWQDISC, 0, Buffer(20)),
                                   message(RTM_NEWNEIGH, 0, Buffer(12)), message(RTM_DELRULE, 0, Buffer(12)),
                                   message(RTM_DELADDR, 0, Buffer(8)), message(RTM_NEWNETCONF, 0, Buffer(4))});
    const std::vector<Notification> found = notifications_in(bytes);
    ASSERT_EQ(found.size(), 7U);
    const NotificationKind kinds[] = {NotificationKind::link,      NotificationKind::nexthop, NotificationKind::nexthop,
                                      NotificationKind::neighbour, NotificationKind::rule,    NotificationKind::address,
                                      NotificationKind::netconf};
    for (size_t i = 0; i < std::size(kinds); ++i) EXPECT_EQ(found[i].kind, kinds[i]) << i;

    // However many a datagram holds.
    Buffer many;
    for (int i = 0; i < 300; ++i) append(many, message(RTM_NEWNEIGH, 0, Buffer(12)));
    EXPECT_EQ(notifications_in(many).size(), 300U);
}

TEST(NeighbourMessage, ReadsAnIpv6EntrysStateFlagsAndAddressButNoOtherFamilysAddress) {
    NeighbourMessage neighbour;
    ASSERT_TRUE(read_neighbour_message(view(neighbour_message(RTM_NEWNEIGH, AF_INET6, 4, NUD_FAILED, NTF_ROUTER, 7)),
                                       neighbour));
    EXPECT_EQ((std::tuple{neighbour.family, neighbour.ifindex, neighbour.state, neighbour.flags}),
              (std::tuple{uint8_t{AF_INET6}, 4, uint16_t{NUD_FAILED}, uint8_t{NTF_ROUTER}}));
    EXPECT_EQ(neighbour.address.bytes[15], std::byte{7});

    ASSERT_TRUE(read_neighbour_message(view(neighbour_message(RTM_NEWNEIGH, AF_INET, 4, NUD_REACHABLE, 0)), neighbour));
    EXPECT_EQ(neighbour.family, AF_INET);
    EXPECT_FALSE(neighbour.address.known());

    // Cut inside the address: the entry, without it.
    const Buffer whole = neighbour_message(RTM_DELNEIGH, AF_INET6, 4, NUD_STALE, 0);
    ASSERT_TRUE(read_neighbour_message(view(whole).first(whole.size() - 2), neighbour));
    EXPECT_EQ(neighbour.state, NUD_STALE);
    EXPECT_FALSE(neighbour.address.known());
    EXPECT_FALSE(read_neighbour_message(view(whole).first(netlink_header_size + 8), neighbour));
}

TEST(LinkMessage, TheNameComesFromTheMessageForALinkThatHasGone) {
    ifinfomsg link{};
    link.ifi_index = crafted::missing_index;
    Buffer fixed;
    put(fixed, link);
    InterfaceName name;
    Attribute named{IFLA_IFNAME, Buffer{std::byte{'t'}, std::byte{'a'}, std::byte{'v'}, std::byte{'r'},
                                        std::byte{'o'}, std::byte{'3'}, std::byte{0}}};
    EXPECT_TRUE(read_link_name(view(message_with(RTM_DELLINK, fixed, {Attribute{IFLA_MTU, Buffer(4)}, named})), name));
    EXPECT_STREQ(name, "tavro3");

    // A name without its NUL, longer than any interface's, is cut to fit.
    Attribute overlong{IFLA_IFNAME, Buffer(40, std::byte{'x'})};
    EXPECT_TRUE(read_link_name(view(message_with(RTM_DELLINK, fixed, {overlong})), name));
    EXPECT_EQ(std::string(name), std::string(IF_NAMESIZE - 1, 'x'));

    EXPECT_FALSE(read_link_name(view(message_with(RTM_DELLINK, fixed, {})), name));
    EXPECT_STREQ(name, "");
}
