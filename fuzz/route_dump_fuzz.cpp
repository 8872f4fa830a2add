// The route-dump walker with parse_default_route, on any datagram.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "netlink/route_dump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeapBuffer defaults;
    const auto progress = take_dump_datagram(Bytes{reinterpret_cast<const std::byte*>(data), size}, defaults);
    // Only indices of named interfaces are ever collected.
    for (size_t offset = 0; offset + sizeof(int) <= defaults.used; offset += sizeof(int)) {
        int index;
        std::memcpy(&index, defaults.data + offset, sizeof index);
        if (index <= 0) std::abort();
    }
    if (progress == DumpProgress::failed && size >= 16 && defaults.used > size) std::abort();
    return 0;
}
