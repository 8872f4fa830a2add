#include "netlink/link_query.h"

#include <gtest/gtest.h>

#include "netlink/kernel_dump.h"
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

TEST(KernelDump, StepsThroughItsOwnRequestUntilDoneOrRefused) {
    const auto numbered = [](Buffer message, uint32_t sequence) {
        set_at(message, offsetof(nlmsghdr, nlmsg_seq), sequence);
        return message;
    };
    const auto steps = [](const Buffer& bytes, std::vector<int>& indexes, int& error) {
        Bytes rest = view(bytes);
        NetlinkMessage found;
        DumpStep step;
        while ((step = next_dump_step(rest, 8, RTM_NEWLINK, found, error)) == DumpStep::message) {
            indexes.push_back(read_at<ifinfomsg>(found.bytes, netlink_header_size).ifi_index);
        }
        return step;
    };
    std::vector<int> indexes;
    int error = 0;
    EXPECT_EQ(steps(datagram({numbered(link_message(2, running), 8), numbered(link_message(3, up), 7),
                              numbered(default_route(4), 8), numbered(link_message(5, up), 8)}),
                    indexes, error),
              DumpStep::datagram_end) << "a late reply to an earlier request, and another type, are stepped over";
    EXPECT_EQ(steps(datagram({numbered(link_message(6, running), 8), numbered(message(NLMSG_DONE, 0, Buffer(4)), 8),
                              numbered(link_message(7, running), 8)}),
                    indexes, error),
              DumpStep::done);
    EXPECT_EQ(indexes, (std::vector<int>{2, 5, 6}));

    // Refused at once, or broken off: the errno comes in NLMSG_ERROR or in NLMSG_DONE.
    Buffer refusal(20);
    set_at(refusal, 0, -ENODEV);
    EXPECT_EQ(steps(datagram({numbered(message(NLMSG_ERROR, 0, refusal), 8)}), indexes, error), DumpStep::refused);
    EXPECT_EQ(error, ENODEV);
    Buffer broken(4);
    set_at(broken, 0, -EBUSY);
    EXPECT_EQ(steps(datagram({numbered(message(NLMSG_DONE, 0, broken), 8)}), indexes, error), DumpStep::refused);
    EXPECT_EQ(error, EBUSY);
}
