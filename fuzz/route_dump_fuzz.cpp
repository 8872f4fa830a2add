// The route-dump walker with parse_default_route, on any datagram.
#include <cstdint>
#include <cstdlib>

#include "netlink/route_dump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DumpedDefault best;
    // The names come from fuzz/doubles.cpp, whatever the socket.
    take_dump_datagram(Bytes{reinterpret_cast<const std::byte*>(data), size}, -1, best);
    // Only a named interface is ever chosen.
    if (best.ifindex == 0 || best.ifindex < -1) std::abort();
    return 0;
}
