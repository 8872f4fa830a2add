#include "netlink/message_walk.h"

#include <gtest/gtest.h>

#include "netlink_bytes.h"

using namespace crafted;

namespace {

std::vector<uint16_t> walked_types(Bytes rest, std::vector<bool>* cuts = nullptr) {
    std::vector<uint16_t> types;
    NetlinkMessage message;
    while (next_message(rest, message)) {
        types.push_back(message.type);
        if (cuts != nullptr) cuts->push_back(message.cut);
    }
    return types;
}

}  // namespace

TEST(MessageWalk, VisitsEveryMessageInOrderAcrossPadding) {
    // A 21-byte message needs 3 bytes of padding before the next one.
    Buffer odd = message(40, 0, Buffer(5, std::byte{7}));
    ASSERT_EQ(odd.size(), 21u);
    const Buffer bytes = datagram({odd, message(41, 0, {}), message(NLMSG_DONE, 0, Buffer(4))});
    EXPECT_EQ(walked_types(view(bytes)), (std::vector<uint16_t>{40, 41, NLMSG_DONE}));
}

TEST(MessageWalk, EndsOnHeadersBelowSixteenBytes) {
    Buffer bytes = datagram({message(40, 0, {}), message(41, 0, {})});
    // The second header claims 8 bytes: the walk must stop there, not loop on it.
    set_length(bytes, 16, 8);
    EXPECT_EQ(walked_types(view(bytes)), (std::vector<uint16_t>{40}));

    const Buffer short_tail = Buffer(15, std::byte{0xff});
    EXPECT_TRUE(walked_types(view(short_tail)).empty());
}

TEST(MessageWalk, HandsOutALastMessageLongerThanTheBytesLeftAsCut) {
    Buffer bytes = datagram({message(40, 0, {}), link_message(3, 0x40, 200)});
    bytes.resize(16 + 40);  // the link message arrived with only 40 of its bytes
    std::vector<bool> cuts;
    EXPECT_EQ(walked_types(view(bytes), &cuts), (std::vector<uint16_t>{40, RTM_NEWLINK}));
    EXPECT_EQ(cuts, (std::vector<bool>{false, true}));

    Bytes rest = view(bytes).subspan(16);
    NetlinkMessage cut;
    ASSERT_TRUE(next_message(rest, cut));
    EXPECT_EQ(cut.bytes.size(), 40u);  // never more than what arrived
    EXPECT_TRUE(rest.empty());
}
