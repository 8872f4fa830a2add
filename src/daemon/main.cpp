#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "daemon/event_monitor.h"
#include "daemon/refresh.h"
#include "daemon/refresh_request.h"
#include "daemon/service_notices.h"
#include "daemon/uplink_state.h"
#include "netlink/notification_socket.h"
#include "netlink/router_adverts.h"
#include "netlink/unique_fd.h"

namespace {

constexpr int exit_failure = 1;
// The kernel's own default for net.ipv6.route.gc_interval.
constexpr long long default_gc_interval_ms = 30000;
int monitor_failed;

// Everything the monitor thread works on, owned by main.
struct Daemon {
    UplinkState state;
    ServiceNotices notices;
};

void on_sigusr1(int /*signal_number*/) { refresh_request_post(); }

// The router advertisements the node receives, when the daemon may see them.
// Without, a route that ran out is watched for its revival until the kernel
// would collect it.
int watch_router_adverts(UplinkState& state) {
    const int adverts_fd = open_router_advert_socket();
    if (adverts_fd < 0) {
        std::fprintf(stderr, "Cannot watch router advertisements (%m): a route that ran out is asked about each second "
                             "until the kernel collects it\n");
        state.route_expiry.revival_watch_ms = route_collection_interval_ms(route_gc_interval_path, default_gc_interval_ms);
    }
    return adverts_fd;
}

void* monitor_thread(void* owned) {
    Daemon& daemon = *static_cast<Daemon*>(owned);
    UplinkState& state = daemon.state;
    std::fputs("NetLink Thread started..\n", stdout);
    std::fflush(stdout);
    // Listening before the first look at the kernel: what changes while the startup
    // refresh reads is queued for the loop, not lost.
    const UniqueFd socket_fd{open_notification_socket()};
    if (!socket_fd) return &monitor_failed;
    state.names_socket = socket_fd.get();
    const UniqueFd adverts_fd{watch_router_adverts(state)};
    refresh_upstream_port(state, false);
    if (state.gateway_ifindex == -1 && !state.config.is_pop) {
        std::fputs("Default gateway not set\n", stdout);
        std::fflush(stdout);
    }
    run_netlink_monitor(state, daemon.notices, socket_fd.get(), adverts_fd.get());
}

bool install_sigusr1_handler() {
    struct sigaction action {};
    action.sa_handler = on_sigusr1;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGUSR1, &action, nullptr) == 0;
}

}  // namespace

int main() {
    // stderr is unbuffered, so stdout goes out line by line too: a journal or a pipe
    // then holds both streams' lines in the order they happened.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // The daemon's whole knowledge of its node, handed to the one thread that uses it
    // (static: the state holds room for a whole configuration file).
    static Daemon daemon;
    // The only environment read: where a service manager waits for notices, if one
    // does, and whether it watches the loop. Read before any thread exists.
    // NOLINTBEGIN(concurrency-mt-unsafe)
    open_service_notices(daemon.notices, std::getenv("NOTIFY_SOCKET"));
    daemon.notices.watchdog_every_ms =
        watchdog_every_ms(std::getenv("WATCHDOG_USEC"), std::getenv("WATCHDOG_PID"), getpid());
    // NOLINTEND(concurrency-mt-unsafe)
    if (!refresh_request_open() || !install_sigusr1_handler()) {
        std::perror("uplinkwatch: SIGUSR1 setup");
        return exit_failure;
    }
    // The monitor thread is born with SIGUSR1 blocked, so the handler always runs on
    // this thread, which only waits in the join: a signal taken by the monitor would
    // break off its receives.
    sigset_t sigusr1_only;
    sigemptyset(&sigusr1_only);
    sigaddset(&sigusr1_only, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &sigusr1_only, nullptr);
    pthread_t monitor;
    const int error = pthread_create(&monitor, nullptr, monitor_thread, &daemon);
    pthread_sigmask(SIG_UNBLOCK, &sigusr1_only, nullptr);
    if (error != 0) {
        std::fprintf(stderr, "setup of netlink thread failed with error=%d", error);
        return exit_failure;
    }
    void* outcome = nullptr;
    pthread_join(monitor, &outcome);
    return outcome == nullptr ? 0 : exit_failure;
}
