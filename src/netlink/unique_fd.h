#pragma once

#include <unistd.h>

// Owns one descriptor and closes it on every path out of the scope that made it.
struct UniqueFd {
    int fd = -1;

    explicit UniqueFd(int descriptor) : fd(descriptor) {}
    ~UniqueFd() {
        if (fd >= 0) close(fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd; }
    // Hands the descriptor on to a caller that will close it.
    int release() {
        const int kept = fd;
        fd = -1;
        return kept;
    }
    // Closes what it held and owns `descriptor` instead.
    void reset(int descriptor) {
        if (fd >= 0) close(fd);
        fd = descriptor;
    }
    explicit operator bool() const { return fd >= 0; }
};
