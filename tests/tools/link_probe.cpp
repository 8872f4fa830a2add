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

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--exhaust") == 0) {
        while (dup(STDERR_FILENO) >= 0) {
        }
        --argc;
        ++argv;
    }
    if (argc == 3 && std::strcmp(argv[1], "query") == 0) {
        std::printf("%d\n", query_link_running(argv[2]));
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "select") == 0) {
        uplink_state.is_pop = true;
        std::snprintf(uplink_state.pop_iface, sizeof uplink_state.pop_iface, "%s", argv[2]);
        std::snprintf(uplink_state.routed_nic, sizeof uplink_state.routed_nic, "%s", argv[3]);
        select_pop_uplink();
        return 0;
    }
    std::fputs("usage: link_probe [--exhaust] query NAME | select POP_IFACE ROUTED_NIC\n", stderr);
    return 2;
}
