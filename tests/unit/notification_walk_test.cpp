#include "netlink/notification_walk.h"

#include <gtest/gtest.h>

#include "netlink/link_message.h"
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

constexpr uint32_t running = IFF_UP | IFF_RUNNING;

}  // namespace

TEST(NotificationWalk, HandsOnEveryRouteAndLinkMessageOfADatagramInOrder) {
    const Buffer bytes = datagram({default_route(1), message(RTM_NEWADDR, 0, Buffer(8)), link_message(2, running),
                                   message(RTM_DELLINK, 0, Buffer(16)), default_route(1, RTM_DELROUTE),
                                   message(NLMSG_DONE, 0, Buffer(4))});
    EXPECT_EQ(notification_types(bytes), (std::vector<uint16_t>{RTM_NEWROUTE, RTM_NEWLINK, RTM_DELROUTE}));
}

TEST(NotificationWalk, EndsTheWalkOnABrokenHeaderAndKeepsACutLastMessage) {
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
