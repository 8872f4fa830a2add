#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>

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

// Tells the manager a requested refresh begins ("RELOADING=1" with the
// monotonic time, as reload-aware managers ask); notify_status with `ready`
// ends it.
void notify_reloading(const ServiceNotices& notices);
