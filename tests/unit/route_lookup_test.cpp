#include "netlink/route_lookup.h"

#include <gtest/gtest.h>
#include <linux/nexthop.h>

#include <cerrno>

#include "netlink/nexthop_message.h"
#include "netlink_bytes.h"

using namespace crafted;

namespace {

Buffer error_reply(int error, uint32_t sequence) {
    Buffer body;
    put(body, error);
    nlmsghdr request{};
    request.nlmsg_seq = sequence;
    put(body, request);
    return message_with(NLMSG_ERROR, body, {}, sequence);
}

Buffer answer(uint32_t sequence) {
    rtmsg route{};
    route.rtm_family = 10;
    Buffer fixed;
    put(fixed, route);
    return message_with(RTM_NEWROUTE, fixed, {gateway(), oif(3)}, sequence);
}

int reply_to(const Buffer& bytes, uint32_t sequence, Bytes& found) {
    return read_kernel_reply(view(bytes), sequence, RTM_NEWROUTE, found);
}

Buffer nexthop_object(std::initializer_list<Attribute> attributes, uint32_t flags = 0) {
    nhmsg header{};
    header.nh_family = 10;
    header.nh_flags = flags;
    Buffer fixed;
    put(fixed, header);
    return message_with(RTM_NEWNEXTHOP, fixed, attributes);
}

Attribute group(std::initializer_list<uint32_t> ids) {
    Attribute attribute{NHA_GROUP, {}};
    for (uint32_t id : ids) {
        nexthop_grp member{};
        member.id = id;
        put(attribute.payload, member);
    }
    return attribute;
}

}  // namespace

TEST(KernelReply, OnlyTheReplyToThisRequestCounts) {
    Bytes found;
    const Buffer mine = answer(7);
    EXPECT_EQ(reply_to(mine, 7, found), 1);
    EXPECT_EQ(found.size(), mine.size());

    // A late reply to an earlier request, answer or error, is not this one's.
    EXPECT_EQ(reply_to(answer(6), 7, found), 0);
    EXPECT_EQ(reply_to(error_reply(-ENETUNREACH, 6), 7, found), 0);
    EXPECT_EQ(reply_to(datagram({error_reply(-ENETUNREACH, 6), answer(7)}), 7, found), 1);

    // The kernel's refusal is its answer: no route to the address.
    EXPECT_EQ(reply_to(error_reply(-ENETUNREACH, 7), 7, found), -ENETUNREACH);
    // An acknowledgement and messages of other types are not.
    EXPECT_EQ(reply_to(error_reply(0, 7), 7, found), 0);
    EXPECT_EQ(reply_to(message_with(RTM_NEWLINK, Buffer(16), {}, 7), 7, found), 0);
}

TEST(KernelReply, ACutAnswerOrErrorIsNoAnswer) {
    Bytes found;
    const Buffer whole = answer(7);
    EXPECT_EQ(read_kernel_reply(view(whole).first(whole.size() - 4), 7, RTM_NEWROUTE, found), 0);
    const Buffer refusal = error_reply(-ENETUNREACH, 7);
    EXPECT_EQ(read_kernel_reply(view(refusal).first(netlink_header_size + 2), 7, RTM_NEWROUTE, found), 0);
}

TEST(NexthopObject, ReadsOneNexthopOrAGroup) {
    NexthopObject object;
    ASSERT_TRUE(read_nexthop_object(
        view(nexthop_object({u32_attribute(NHA_ID, 5), u32_attribute(NHA_OIF, 9), Attribute{NHA_GATEWAY, Buffer(16, std::byte{0xfe})}})),
        object));
    EXPECT_EQ((std::tuple{object.id, object.nexthop.ifindex, object.nexthop.has_gateway(), object.nexthop.dead}),
              (std::tuple{5u, 9, true, false}));
    EXPECT_TRUE(object.group.empty());

    ASSERT_TRUE(read_nexthop_object(view(nexthop_object({u32_attribute(NHA_OIF, 9)}, RTNH_F_DEAD)), object));
    EXPECT_FALSE(object.nexthop.has_gateway()) << "a device-only nexthop";
    EXPECT_TRUE(object.nexthop.dead);

    // NHA_GATEWAY of an IPv4 nexthop is four bytes.
    ASSERT_TRUE(read_nexthop_object(view(nexthop_object({Attribute{NHA_GATEWAY, Buffer(4)}})), object));
    EXPECT_TRUE(object.nexthop.has_gateway());

    const Buffer grouped = nexthop_object({u32_attribute(NHA_ID, 9), group({1, 2, 3})});
    ASSERT_TRUE(read_nexthop_object(view(grouped), object));
    std::vector<uint32_t> members;
    Bytes rest = object.group;
    uint32_t id = 0;
    while (next_group_member(rest, id)) members.push_back(id);
    EXPECT_EQ(members, (std::vector<uint32_t>{1, 2, 3}));

    // A group payload that ends inside a record: only whole records count.
    Attribute ragged = group({1, 2});
    ragged.payload.resize(ragged.payload.size() - 3);
    const Buffer ragged_group = nexthop_object({ragged});
    ASSERT_TRUE(read_nexthop_object(view(ragged_group), object));
    members.clear();
    rest = object.group;
    while (next_group_member(rest, id)) members.push_back(id);
    EXPECT_EQ(members, (std::vector<uint32_t>{1}));

    EXPECT_FALSE(read_nexthop_object(view(nexthop_object({})).first(netlink_header_size + 4), object));
}
