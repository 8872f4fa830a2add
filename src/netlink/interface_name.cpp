#include "netlink/interface_name.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool interface_name(int socket_fd, int index, InterfaceName& name) {
    std::memset(name, 0, sizeof name);
    if (index <= 0) return false;
    ifreq request{};
    request.ifr_ifindex = index;
    if (ioctl(socket_fd, SIOCGIFNAME, &request) != 0) {
        // An interface that has gone is no fault; failing to ask is, and it would
        // silently hide every uplink.
        if (errno != ENODEV && errno != ENXIO) std::fprintf(stderr, "Failed to name interface %d: %m\n", index);
        return false;
    }
    std::snprintf(name, sizeof name, "%.*s", IF_NAMESIZE - 1, request.ifr_name);
    return name[0] != '\0';
}

unsigned interface_index(int socket_fd, const char* name) {
    ifreq request{};
    // A longer name is no interface's, and cut short it could be another's.
    if (std::strlen(name) >= sizeof request.ifr_name) return 0;
    std::memcpy(request.ifr_name, name, std::strlen(name));
    if (ioctl(socket_fd, SIOCGIFINDEX, &request) != 0) return 0;
    return static_cast<unsigned>(request.ifr_ifindex);
}
