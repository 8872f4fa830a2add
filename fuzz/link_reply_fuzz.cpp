// The link-reply walker, on any reply.
#include <cstdint>
#include <cstdlib>

#include "netlink/link_query.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int running = link_reply_running(Bytes{reinterpret_cast<const std::byte*>(data), size});
    if (running != 0 && running != 1) std::abort();
    return 0;
}
