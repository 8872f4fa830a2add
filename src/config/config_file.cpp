#include "config/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Compared piece by piece, so that checking a file needs no second copy of it.
constexpr size_t compare_chunk_size = 4096;

// Opens a regular file for reading. A FIFO or device put in the file's place
// neither blocks the daemon nor counts as a configuration.
int open_regular(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

ssize_t read_some(int fd, char* into, size_t size) {
    ssize_t got;
    do {
        got = read(fd, into, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

// Fills `into` with up to `size` bytes; returns how many, or -1 on a read error.
ssize_t read_up_to(int fd, char* into, size_t size) {
    size_t total = 0;
    while (total < size) {
        const ssize_t got = read_some(fd, into + total, size - total);
        if (got < 0) return -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

bool read_whole(int fd, ConfigBytes& into) {
    const ssize_t got = read_up_to(fd, into.bytes, sizeof into.bytes);
    if (got < 0) return false;
    into.size = static_cast<size_t>(got);
    if (into.size < sizeof into.bytes) return true;
    char beyond;
    return read_some(fd, &beyond, 1) == 0;
}

bool holds(int fd, std::string_view expected) {
    char chunk[compare_chunk_size];
    for (;;) {
        const ssize_t got = read_up_to(fd, chunk, sizeof chunk);
        if (got < 0) return false;
        const auto length = static_cast<size_t>(got);
        if (length > expected.size() || std::memcmp(chunk, expected.data(), length) != 0) return false;
        expected.remove_prefix(length);
        if (length < sizeof chunk) return expected.empty();
    }
}

}  // namespace

bool read_config_bytes(const char* path, ConfigBytes& into) {
    into.size = 0;
    const int fd = open_regular(path);
    if (fd < 0) return false;
    const bool whole = read_whole(fd, into);
    close(fd);
    if (!whole) into.size = 0;
    return whole;
}

bool config_file_missing(const char* path) {
    struct stat status {};
    return stat(path, &status) != 0 && errno == ENOENT;
}

bool config_file_holds(const char* path, std::string_view expected) {
    const int fd = open_regular(path);
    if (fd < 0) return false;
    const bool same = holds(fd, expected);
    close(fd);
    return same;
}
