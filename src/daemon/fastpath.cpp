#include "daemon/fastpath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "netlink/interface_name.h"
#include "netlink/unique_fd.h"

namespace {

constexpr const char* upstream_port_path = "/proc/net/gre6_fastpath/upstream_port";
constexpr const char* fpe_path = "/proc/net/gre6_fastpath/fpe";
constexpr const char* flush_text = "flush\n";
constexpr mode_t created_file_mode = 0644;

}  // namespace

bool write_fastpath_file(const char* path, const char* text) {
    const UniqueFd file{open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, created_file_mode)};
    if (!file) {
        std::fprintf(stderr, "Failed to open %s: %m\n", path);
        return false;
    }
    // One write: the module takes each write as one command.
    const size_t length = std::strlen(text);
    ssize_t written;
    do {
        written = write(file.get(), text, length);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        std::fprintf(stderr, "Failed to write %s: %m\n", path);
        return false;
    }
    if (static_cast<size_t>(written) != length) {
        std::fprintf(stderr, "Failed to write %s: short write\n", path);
        return false;
    }
    return true;
}

bool set_upstream_port(const char* name) {
    // Name, newline and NUL; the name is written byte for byte, never through a shell.
    char line[IF_NAMESIZE + 1];
    std::snprintf(line, sizeof line, "%.*s\n", IF_NAMESIZE - 1, name);
    return write_fastpath_file(upstream_port_path, line);
}

void flush_fastpath() { write_fastpath_file(fpe_path, flush_text); }
