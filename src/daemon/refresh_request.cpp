#include "daemon/refresh_request.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

int request_pipe[2] = {-1, -1};

}  // namespace

bool refresh_request_open() { return pipe2(request_pipe, O_NONBLOCK | O_CLOEXEC) == 0; }

void refresh_request_post() {
    const int saved_errno = errno;
    const char wanted = 1;
    // A full pipe already holds a request, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t ignored = write(request_pipe[1], &wanted, 1);
    errno = saved_errno;
}

int refresh_request_fd() { return request_pipe[0]; }

void refresh_request_take() {
    char drained[64];
    while (read(request_pipe[0], drained, sizeof drained) > 0) {
    }
}
