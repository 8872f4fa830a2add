#include "daemon/service_notices.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>

#include "daemon/upstream_port.h"

namespace {

UplinkState state;  // two megabytes: not on the stack

std::string status_of() {
    char line[status_size];
    status_line(state, line);
    return line;
}

// A service manager's end: an abstract datagram socket of this test's own.
struct Listener {
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::string name = "@uplinkwatch-notices-" + std::to_string(getpid());

    Listener() {
        sockaddr_un address{};
        socklen_t length = 0;
        EXPECT_TRUE(notify_address(name.c_str(), address, length));
        EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), length), 0);
    }
    ~Listener() { close(fd); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // The next notice, or "" when none is waiting.
    std::string next() const {
        char text[512];
        const ssize_t got = recv(fd, text, sizeof text, MSG_DONTWAIT);
        return got < 0 ? "" : std::string(text, static_cast<size_t>(got));
    }
};

}  // namespace

TEST(ServiceNotices, TakesASocketPathOrAnAbstractName) {
    sockaddr_un address{};
    socklen_t length = 0;
    ASSERT_TRUE(notify_address("/run/systemd/notify", address, length));
    EXPECT_STREQ(address.sun_path, "/run/systemd/notify");
    EXPECT_EQ(length, offsetof(sockaddr_un, sun_path) + std::strlen("/run/systemd/notify"));

    ASSERT_TRUE(notify_address("@manager/notify", address, length));
    EXPECT_EQ(address.sun_path[0], '\0');
    EXPECT_EQ(std::string(address.sun_path + 1, length - offsetof(sockaddr_un, sun_path) - 1), "manager/notify");

    const std::string longest(sizeof address.sun_path - 1, 'x');
    EXPECT_TRUE(notify_address(("/" + longest).c_str(), address, length));
    for (const std::string& refused : {std::string{}, std::string{"run/notify"}, std::string{"@"},
                                       std::string{"/"} + longest + "x", std::string{"vsock:2:1"}}) {
        EXPECT_FALSE(notify_address(refused.c_str(), address, length)) << refused;
    }
    EXPECT_FALSE(notify_address(nullptr, address, length));
}

TEST(ServiceNotices, TheWatchdogIsFedAtHalfItsIntervalWhenItWatchesThisProcess) {
    const pid_t self = getpid();
    EXPECT_EQ(watchdog_every_ms("30000000", std::to_string(self).c_str(), self), 15000);
    EXPECT_EQ(watchdog_every_ms("30000000", std::to_string(self + 1).c_str(), self), 0) << "another process's";
    for (const char* usec : {static_cast<const char*>(nullptr), "0", "-5", "30s", "99999999999999999999"}) {
        EXPECT_EQ(watchdog_every_ms(usec, nullptr, self), 0) << (usec ? usec : "unset");
    }
}

TEST(ServiceNotices, StatusSaysTheRoleAndThePort) {
    state = UplinkState{};
    EXPECT_EQ(status_of(), "not a POP, no upstream port");
    record_upstream_port(state, "va", true, PortFor::pop);
    EXPECT_EQ(status_of(), "not a POP, upstream port va");
    state.config.is_pop = true;
    record_upstream_port(state, "tavro15", false, PortFor::pop);
    EXPECT_EQ(status_of(), "a POP, upstream port tavro15 (fastpath write failed)");
    record_upstream_port(state, "abcdefghijklmno", true, PortFor::pop);
    EXPECT_EQ(status_of(), "a POP, upstream port abcdefghijklmno");
}

TEST(ServiceNotices, ReachTheManagerOnlyWhenSomethingChanged) {
    const Listener manager;
    ServiceNotices notices;
    open_service_notices(notices, manager.name.c_str());
    ASSERT_GE(notices.socket_fd, 0);
    state = UplinkState{};

    notify_status(notices, state, true);
    EXPECT_EQ(manager.next(), "READY=1\nSTATUS=not a POP, no upstream port");
    notify_status(notices, state);
    EXPECT_EQ(manager.next(), "") << "nothing changed";
    record_upstream_port(state, "va", true, PortFor::pop);
    notify_status(notices, state);
    EXPECT_EQ(manager.next(), "STATUS=not a POP, upstream port va");

    timespec before{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    notify_reloading(notices);
    const std::string reloading = manager.next();
    ASSERT_EQ(reloading.rfind("RELOADING=1\nMONOTONIC_USEC=", 0), 0u) << reloading;
    const long long usec = std::stoll(reloading.substr(std::strlen("RELOADING=1\nMONOTONIC_USEC=")));
    EXPECT_GE(usec, before.tv_sec * 1000000LL + before.tv_nsec / 1000);
    EXPECT_LT(usec, (before.tv_sec + 5) * 1000000LL);
    // The end of a reload says ready again even when nothing changed.
    notify_status(notices, state, true);
    EXPECT_EQ(manager.next(), "READY=1\nSTATUS=not a POP, upstream port va");

    // The watchdog hears at once, then once each period, never between.
    feed_watchdog(notices, 1000);
    EXPECT_EQ(manager.next(), "") << "nobody watches";
    notices.watchdog_every_ms = 15000;
    feed_watchdog(notices, 1000);
    EXPECT_EQ(manager.next(), "WATCHDOG=1");
    feed_watchdog(notices, 15999);
    EXPECT_EQ(manager.next(), "");
    feed_watchdog(notices, 16000);
    EXPECT_EQ(manager.next(), "WATCHDOG=1");
    close(notices.socket_fd);

    ServiceNotices unset;
    open_service_notices(unset, nullptr);
    EXPECT_EQ(unset.socket_fd, -1);
    notify_status(unset, state, true);  // nowhere to go, and no harm
}
