#include "netlink/route_dump.h"

#include <gtest/gtest.h>

#include "netlink_bytes.h"

using namespace crafted;

namespace {

const uint32_t lo = loopback_index();
constexpr uint16_t multi = NLM_F_MULTI;

DumpProgress take(const Buffer& bytes, DumpedDefault& best) { return take_dump_datagram(view(bytes), names_socket(), best); }

// A usable default route through lo with `metric`, in `table`.
Buffer metric_default(uint32_t metric, uint32_t table = RT_TABLE_MAIN) {
    return route_message(RTM_NEWROUTE, 0, {u32_attribute(RTA_TABLE, table), gateway(), oif(lo),
                                           u32_attribute(RTA_PRIORITY, metric)}, multi);
}

Buffer other_route() { return route_message(RTM_NEWROUTE, 64, {gateway(), oif(lo)}, multi); }
Buffer done() { return message(NLMSG_DONE, multi, Buffer(4)); }
Buffer error() { return message(NLMSG_ERROR, 0, Buffer(20)); }

}  // namespace

TEST(RouteDump, TakesTheMainTablesDefaultRouteWithTheLowestMetricAcrossDatagrams) {
    DumpedDefault best;
    EXPECT_EQ(take(datagram({other_route(), metric_default(200)}), best), DumpProgress::more);
    EXPECT_EQ(take(datagram({metric_default(50, 1234), metric_default(100), metric_default(100)}), best),
              DumpProgress::more);
    EXPECT_EQ(take(datagram({route_message(RTM_NEWROUTE, 0, {gateway(), oif(missing_index),
                                                             u32_attribute(RTA_PRIORITY, 10)}, multi)}), best),
              DumpProgress::more) << "an interface without a name is no port";
    EXPECT_EQ(take(datagram({done()}), best), DumpProgress::done);
    EXPECT_EQ(best.ifindex, int(lo));
    EXPECT_EQ(best.metric, 100u) << "not the other table's, nor the unnamed one's";
}

TEST(RouteDump, DoneTrailingInsideADatagramEndsTheDumpThere) {
    DumpedDefault best;
    EXPECT_EQ(take(datagram({other_route(), metric_default(300), done(), metric_default(10)}), best),
              DumpProgress::done);
    EXPECT_EQ(best.metric, 300u);
}

TEST(RouteDump, ASinglePartReplyIsTheWholeDump) {
    DumpedDefault best;
    EXPECT_EQ(take(datagram({default_route(lo)}), best), DumpProgress::done);
    EXPECT_EQ(best.ifindex, int(lo));
}

TEST(RouteDump, AnErrorAnywhereFailsTheDump) {
    DumpedDefault best;
    EXPECT_EQ(take(datagram({error()}), best), DumpProgress::failed);
    EXPECT_EQ(take(datagram({default_route(lo, RTM_NEWROUTE, multi), error()}), best), DumpProgress::failed);
}

TEST(RouteDump, ADatagramThatDoesNotStartWithAWholeMessageFailsTheDump) {
    DumpedDefault best;
    EXPECT_EQ(take(Buffer(12), best), DumpProgress::failed);
    Buffer tiny = datagram({default_route(lo, RTM_NEWROUTE, multi)});
    set_length(tiny, 0, 15);
    EXPECT_EQ(take(tiny, best), DumpProgress::failed);
    Buffer overlong = datagram({default_route(lo, RTM_NEWROUTE, multi)});
    set_length(overlong, 0, static_cast<uint32_t>(overlong.size() + 256));  // past the datagram's end
    EXPECT_EQ(take(overlong, best), DumpProgress::failed);
    EXPECT_EQ(best.ifindex, -1);
}

TEST(RouteDump, ABrokenHeaderLaterInADatagramEndsOnlyThatDatagram) {
    DumpedDefault best;
    Buffer bytes = datagram({metric_default(20), metric_default(10)});
    set_length(bytes, metric_default(20).size(), 3);
    EXPECT_EQ(take(bytes, best), DumpProgress::more);
    EXPECT_EQ(best.metric, 20u);
}
