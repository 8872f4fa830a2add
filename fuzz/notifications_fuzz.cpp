// The monitor's datagram walker with its route, link, neighbour, rule and
// nexthop decisions, then one at the end of the route's lifetime. The first
// byte picks the node's role and the recorded gateway; the rest is the datagram.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "daemon/notifications.h"
#include "daemon/reconciliation.h"
#include "daemon/uplink_state.h"
#include "fuzz/doubles.h"
#include "netlink/notification_walk.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The daemon's lines would only slow the fuzzer down.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    set_fuzzed_role(data[0]);
    // Static: the state holds room for a whole configuration file.
    static UplinkState state;
    state.gateway_ifindex = (data[0] & 8) ? 20 : -1;
    reset_fuzzed_writes();
    // The monitor hands over each datagram whole, however long.
    handle_notifications(state, Bytes{reinterpret_cast<const std::byte*>(data + 1), size - 1});
    // The route in use runs out of lifetime after the datagram.
    reconcile(state, {});
    // A message (at least a header long) moves the port at most once, with one
    // flush before it.
    const size_t most_messages = (size - 1) / netlink_header_size + 1;
    if (fuzzed_writes() > 2 * static_cast<int>(most_messages)) std::abort();
    if (state.gateway_ifindex == 0 || state.gateway_ifindex < -1) std::abort();
    return 0;
}
