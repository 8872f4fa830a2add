#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "daemon/uplink_state.h"

// Notices to the service manager through its notify protocol: one datagram of
// "KEY=value" lines to the AF_UNIX socket named in NOTIFY_SOCKET. Without that
// variable nothing is sent; a notice that cannot be sent is dropped, never an
// error.

// One STATUS= line: the role and the current upstream port.
constexpr size_t status_size = 96;

struct ServiceNotices {
    int socket_fd = -1;  // -1: nobody listens
    sockaddr_un address{};
    socklen_t address_length = 0;
    char last_status[status_size] = {};  // the status last sent
    int64_t watchdog_every_ms = 0;       // how often the loop says it is alive; 0: no watchdog
    int64_t watchdog_due_ms = 0;         // when it next says so, on the monotonic clock
};

// The socket address that NOTIFY_SOCKET names: a path ("/run/systemd/notify") or
// an abstract name ("@name", sent with a leading NUL). Returns false for anything
// else, or a name that does not fit.
bool notify_address(const char* name, sockaddr_un& address, socklen_t& length);

// Makes ready to send to `notify_socket` (NOTIFY_SOCKET's value, or nullptr).
void open_service_notices(ServiceNotices& notices, const char* notify_socket);

// Sends one notice, such as "READY=1".
void send_notice(const ServiceNotices& notices, const char* text);

// The status line for the state, such as "not a POP, upstream port va".
void status_line(const UplinkState& state, char (&line)[status_size]);

// Sends "STATUS=" with the state's status line when it differs from the last
// one sent; with `ready`, "READY=1" goes in the same notice, sent in any case.
void notify_status(ServiceNotices& notices, const UplinkState& state, bool ready = false);

// How often the loop is to say it is alive, in milliseconds, to a manager that
// watches it: half the interval WATCHDOG_USEC gives (`usec`), when WATCHDOG_PID
// (`pid`, nullptr when not given) names this process (`self`) or is not given.
// 0 when nobody watches, or the values are not plain positive numbers.
int64_t watchdog_every_ms(const char* usec, const char* pid, pid_t self);

// The loop is alive at `now_ms`: says so ("WATCHDOG=1") when the manager
// watches and that is due, and sets when it is next due. The first call says
// so at once.
void feed_watchdog(ServiceNotices& notices, int64_t now_ms);

// Tells the manager a requested refresh begins ("RELOADING=1" with the
// monotonic time, as reload-aware managers ask); notify_status with `ready`
// ends it.
void notify_reloading(const ServiceNotices& notices);
