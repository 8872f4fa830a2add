#include "netlink/interface_name.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool interface_name(int index, InterfaceName& name) {
    std::memset(name, 0, sizeof name);
    if (index <= 0) return false;
    if (if_indextoname(static_cast<unsigned>(index), name) == nullptr) {
        // An interface that has gone is no fault; failing to ask (no descriptor
        // for the lookup's socket) is, and it would silently hide every uplink.
        if (errno != ENXIO && errno != ENODEV) std::fprintf(stderr, "Failed to name interface %d: %m\n", index);
        std::memset(name, 0, sizeof name);
        return false;
    }
    return true;
}
