#include "netlink/route_dump.h"

#include <gtest/gtest.h>

#include "netlink_bytes.h"

using namespace crafted;

namespace {

const uint32_t lo = loopback_index();
constexpr uint16_t multi = NLM_F_MULTI;

std::vector<int> collected(const HeapBuffer& defaults) {
    std::vector<int> indices(defaults.used / sizeof(int));
    std::memcpy(indices.data(), defaults.data, indices.size() * sizeof(int));
    return indices;
}

Buffer other_route() { return route_message(RTM_NEWROUTE, 64, {gateway(), oif(lo)}, multi); }
Buffer done() { return message(NLMSG_DONE, multi, Buffer(4)); }
Buffer error() { return message(NLMSG_ERROR, 0, Buffer(20)); }

}  // namespace

TEST(RouteDump, CollectsDefaultRoutesAcrossDatagramsUntilDoneAlone) {
    HeapBuffer defaults;
    EXPECT_EQ(take_dump_datagram(view(datagram({other_route(), default_route(lo, RTM_NEWROUTE, multi)})), defaults),
              DumpProgress::more);
    EXPECT_EQ(take_dump_datagram(view(datagram({default_route(lo, RTM_NEWROUTE, multi), other_route()})), defaults),
              DumpProgress::more);
    EXPECT_EQ(take_dump_datagram(view(datagram({done()})), defaults), DumpProgress::done);
    EXPECT_EQ(collected(defaults), (std::vector<int>{int(lo), int(lo)}));
}

TEST(RouteDump, DoneTrailingInsideADatagramEndsTheDumpThere) {
    HeapBuffer defaults;
    const Buffer bytes = datagram({other_route(), default_route(lo, RTM_NEWROUTE, multi), done(),
                                   default_route(lo, RTM_NEWROUTE, multi)});
    EXPECT_EQ(take_dump_datagram(view(bytes), defaults), DumpProgress::done);
    EXPECT_EQ(collected(defaults), std::vector<int>{int(lo)});
}

TEST(RouteDump, ASinglePartReplyIsTheWholeDump) {
    HeapBuffer defaults;
    EXPECT_EQ(take_dump_datagram(view(datagram({default_route(lo)})), defaults), DumpProgress::done);
    EXPECT_EQ(collected(defaults).size(), 1u);
}

TEST(RouteDump, AnErrorAnywhereFailsTheDump) {
    HeapBuffer defaults;
    EXPECT_EQ(take_dump_datagram(view(datagram({error()})), defaults), DumpProgress::failed);
    EXPECT_EQ(take_dump_datagram(view(datagram({default_route(lo, RTM_NEWROUTE, multi), error()})), defaults),
              DumpProgress::failed);
}

TEST(RouteDump, ADatagramThatDoesNotStartWithAWholeMessageFailsTheDump) {
    HeapBuffer defaults;
    EXPECT_EQ(take_dump_datagram(view(Buffer(12)), defaults), DumpProgress::failed);
    Buffer tiny = datagram({default_route(lo, RTM_NEWROUTE, multi)});
    set_length(tiny, 0, 15);
    EXPECT_EQ(take_dump_datagram(view(tiny), defaults), DumpProgress::failed);
    Buffer overlong = datagram({default_route(lo, RTM_NEWROUTE, multi)});
    set_length(overlong, 0, static_cast<uint32_t>(overlong.size() + 256));  // past the datagram's end
    EXPECT_EQ(take_dump_datagram(view(overlong), defaults), DumpProgress::failed);
    EXPECT_EQ(defaults.used, 0u);
}

TEST(RouteDump, ABrokenHeaderLaterInADatagramEndsOnlyThatDatagram) {
    HeapBuffer defaults;
    Buffer bytes = datagram({default_route(lo, RTM_NEWROUTE, multi), default_route(lo, RTM_NEWROUTE, multi)});
    const size_t second = default_route(lo).size();
    set_length(bytes, second, 3);
    EXPECT_EQ(take_dump_datagram(view(bytes), defaults), DumpProgress::more);
    EXPECT_EQ(collected(defaults).size(), 1u);
}
