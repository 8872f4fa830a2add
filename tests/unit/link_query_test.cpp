#include "netlink/link_query.h"

#include <gtest/gtest.h>

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
