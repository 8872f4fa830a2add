#include "daemon/service_notices.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// "READY=1\n", "STATUS=" and the status line.
constexpr size_t notice_size = status_size + 32;
constexpr long long microseconds_per_second = 1000000;
constexpr long long nanoseconds_per_microsecond = 1000;
constexpr long long microseconds_per_millisecond = 1000;
constexpr int decimal = 10;

// A plain positive decimal number, or 0.
long long positive_number(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return 0;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, decimal);
    return errno == 0 && *end == '\0' && value > 0 ? value : 0;
}

}  // namespace

bool notify_address(const char* name, sockaddr_un& address, socklen_t& length) {
    if (name == nullptr || (name[0] != '/' && name[0] != '@')) return false;
    const size_t name_length = std::strlen(name);
    if (name_length < 2 || name_length > sizeof address.sun_path) return false;
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name, name_length);
    // An abstract name starts with a NUL and ends where its length says.
    if (name[0] == '@') address.sun_path[0] = '\0';
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name_length);
    return true;
}

void open_service_notices(ServiceNotices& notices, const char* notify_socket) {
    if (!notify_address(notify_socket, notices.address, notices.address_length)) return;
    notices.socket_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

void send_notice(const ServiceNotices& notices, const char* text) {
    if (notices.socket_fd < 0) return;
    [[maybe_unused]] const ssize_t ignored =
        sendto(notices.socket_fd, text, std::strlen(text), MSG_NOSIGNAL | MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&notices.address), notices.address_length);
}

void status_line(const UplinkState& state, char (&line)[status_size]) {
    const char* role = state.config.is_pop ? "a POP" : "not a POP";
    if (state.upstream_port[0] == '\0') {
        std::snprintf(line, sizeof line, "%s, no upstream port", role);
    } else if (!state.upstream_port_written) {
        std::snprintf(line, sizeof line, "%s, upstream port %s (fastpath write failed)", role, state.upstream_port);
    } else {
        std::snprintf(line, sizeof line, "%s, upstream port %s", role, state.upstream_port);
    }
}

void notify_status(ServiceNotices& notices, const UplinkState& state, bool ready) {
    if (notices.socket_fd < 0) return;
    char line[status_size];
    status_line(state, line);
    const bool changed = std::strcmp(line, notices.last_status) != 0;
    if (!changed && !ready) return;
    char notice[notice_size];
    std::snprintf(notice, sizeof notice, "%sSTATUS=%s", ready ? "READY=1\n" : "", line);
    send_notice(notices, notice);
    std::memcpy(notices.last_status, line, sizeof line);
}

int64_t watchdog_every_ms(const char* usec, const char* pid, pid_t self) {
    if (pid != nullptr && positive_number(pid) != self) return 0;
    return positive_number(usec) / microseconds_per_millisecond / 2;
}

void feed_watchdog(ServiceNotices& notices, int64_t now_ms) {
    if (notices.socket_fd < 0 || notices.watchdog_every_ms == 0 || now_ms < notices.watchdog_due_ms) return;
    send_notice(notices, "WATCHDOG=1");
    notices.watchdog_due_ms = now_ms + notices.watchdog_every_ms;
}

void notify_reloading(const ServiceNotices& notices) {
    if (notices.socket_fd < 0) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char notice[notice_size];
    std::snprintf(notice, sizeof notice, "RELOADING=1\nMONOTONIC_USEC=%lld",
                  static_cast<long long>(now.tv_sec) * microseconds_per_second +
                      now.tv_nsec / nanoseconds_per_microsecond);
    send_notice(notices, notice);
}
