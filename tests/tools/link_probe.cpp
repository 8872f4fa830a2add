// Runs the daemon's link query and POP uplink choice on their own, so that system
// tests can drive them inside a throwaway node:
//   link_probe query NAME                    prints the query's result
//   link_probe select POP_IFACE ROUTED_NIC   runs the choice on a POP so configured
// With --exhaust first, every free descriptor is taken before, so that no socket
// can be made.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "daemon/pop_uplink.h"
#include "daemon/uplink_state.h"
#include "netlink/link_query.h"

namespace {

int taken_from = -1;
int taken_to = -1;

// Takes every free descriptor, to be given back before the exit.
void exhaust_descriptors() {
    for (int fd = dup(STDERR_FILENO); fd >= 0; fd = dup(STDERR_FILENO)) {
        if (taken_from < 0) taken_from = fd;
        taken_to = fd;
    }
}

int give_back(int status) {
    for (int fd = taken_from; taken_from >= 0 && fd <= taken_to; ++fd) close(fd);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--exhaust") == 0) {
        exhaust_descriptors();
        --argc;
        ++argv;
    }
    if (argc == 3 && std::strcmp(argv[1], "query") == 0) {
        const int running = query_link_running(argv[2]);
        std::printf("%d\n", running);
        return give_back(0);
    }
    if (argc == 4 && std::strcmp(argv[1], "select") == 0) {
        static UplinkState state;  // it holds room for a whole configuration file
        state.config.is_pop = true;
        std::snprintf(state.config.pop_iface, sizeof state.config.pop_iface, "%s", argv[2]);
        std::snprintf(state.config.routed_nic, sizeof state.config.routed_nic, "%s", argv[3]);
        select_pop_uplink(state, false);
        return give_back(0);
    }
    std::fputs("usage: link_probe [--exhaust] query NAME | select POP_IFACE ROUTED_NIC\n", stderr);
    return 2;
}
