#include "netlink/link_query.h"

#include <gtest/gtest.h>

#include "netlink/link_dump.h"
#include "netlink_bytes.h"

using namespace crafted;

namespace {

constexpr uint32_t up = IFF_UP;
constexpr uint32_t running = IFF_UP | IFF_RUNNING;

int running_of(const Buffer& reply) { return link_reply_running(view(reply)); }

}  // namespace

TEST(LinkReply, TellsRunningFromTheLinkMessage) {
    EXPECT_EQ(running_of(datagram({link_message(3, running, 600)})), 1);
    EXPECT_EQ(running_of(datagram({link_message(3, up, 600)})), 0) << "up without carrier";
}

TEST(LinkReply, AnErrorOrAShortReplyIsNotRunning) {
    EXPECT_EQ(running_of(datagram({message(NLMSG_ERROR, 0, Buffer(20))})), 0);
    EXPECT_EQ(running_of(Buffer(15, std::byte{0xff})), 0);
    EXPECT_EQ(running_of({}), 0);
}

TEST(LinkReply, TheLastLinkMessageDecides) {
    EXPECT_EQ(running_of(datagram({link_message(3, running), link_message(3, up)})), 0);
    EXPECT_EQ(running_of(datagram({link_message(3, up), message(NLMSG_DONE, 0, Buffer(4)), link_message(3, running)})),
              1);
}

TEST(LinkReply, ACutReplyStillCountsWhenItsFixedHeaderArrived) {
    Buffer cut = datagram({link_message(3, running, 6000)});
    cut.resize(4096);
    EXPECT_EQ(running_of(cut), 1);
    cut.resize(27);  // the flags did not arrive
    EXPECT_EQ(running_of(cut), 0);
}

TEST(LinkDump, CollectsTheRunningLinksOfItsOwnRequestUntilDone) {
    const auto numbered = [](Buffer message, uint32_t sequence) {
        set_at(message, offsetof(nlmsghdr, nlmsg_seq), sequence);
        return message;
    };
    HeapBuffer collected;
    EXPECT_EQ(take_link_dump_datagram(view(datagram({numbered(link_message(2, running), 8),
                                                     numbered(link_message(3, up), 8),
                                                     numbered(link_message(4, running), 7)})),
                                      8, collected),
              DumpProgress::more) << "a late reply to an earlier request is stepped over";
    EXPECT_EQ(take_link_dump_datagram(view(datagram({numbered(link_message(5, running), 8),
                                                     numbered(message(NLMSG_DONE, 0, Buffer(4)), 8)})),
                                      8, collected),
              DumpProgress::done);
    std::vector<int> indexes(collected.used / sizeof(int));
    std::memcpy(indexes.data(), collected.data, collected.used);
    EXPECT_EQ(indexes, (std::vector<int>{2, 5}));
    EXPECT_EQ(take_link_dump_datagram(view(datagram({numbered(message(NLMSG_ERROR, 0, Buffer(20)), 8)})), 8, collected),
              DumpProgress::failed);
}
