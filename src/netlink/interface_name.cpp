#include "netlink/interface_name.h"

#include <cstring>

bool interface_name(int index, InterfaceName& name) {
    std::memset(name, 0, sizeof name);
    if (index <= 0 || if_indextoname(static_cast<unsigned>(index), name) == nullptr) {
        std::memset(name, 0, sizeof name);
        return false;
    }
    return true;
}
