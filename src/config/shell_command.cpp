#include "config/shell_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

extern char** environ;  // NOLINT(readability-redundant-declaration): for posix_spawn

namespace {

constexpr size_t discard_size = 4096;
constexpr int milliseconds_per_second = 1000;
constexpr long long nanoseconds_per_millisecond = 1000000;

long long monotonic_now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * milliseconds_per_second + now.tv_nsec / nanoseconds_per_millisecond;
}

// One command through the shell, in a process group of its own, so that a run
// that does not answer is ended with every process it started.
struct ShellProcess {
    pid_t pid = -1;
    int output = -1;  // the read end of its standard output

    ShellProcess() = default;
    ShellProcess(const ShellProcess&) = delete;
    ShellProcess& operator=(const ShellProcess&) = delete;
    ~ShellProcess() {
        close_output();
        if (pid > 0) {
            kill(-pid, SIGKILL);
            wait_status();
        }
    }

    void close_output() {
        if (output >= 0) close(output);
        output = -1;
    }

    // The shell's wait status: the command's own, for a simple command.
    int wait_status() {
        int status = -1;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        return status;
    }
};

bool start(const char* command, ShellProcess& process) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    process.output = ends[0];
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    char shell_name[] = "sh";
    char shell_option[] = "-c";
    char* arguments[] = {shell_name, shell_option, const_cast<char*>(command), nullptr};
    // The command is found on the PATH through the shell, as node tooling expects.
    const int error = posix_spawn(&process.pid, "/bin/sh", &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(ends[1]);
    if (error != 0) process.pid = -1;
    return error == 0;
}

// Reads up to `size` bytes of `fd`, waiting until `deadline_ms` at most. Returns
// the bytes read (0 at the end of output), or -1 when time ran out.
ssize_t read_before(int fd, char* into, size_t size, long long deadline_ms) {
    for (;;) {
        const long long left = deadline_ms - monotonic_now_ms();
        if (left <= 0) return -1;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t got = read(fd, into, size);
        if (got >= 0) return got;
        if (errno != EINTR && errno != EAGAIN) return 0;
    }
}

}  // namespace

CommandRun run_shell_command(const char* command, int timeout_ms, std::span<char> line, bool& got_output, int& status) {
    ShellProcess process;
    if (!start(command, process)) return CommandRun::not_started;
    const long long deadline_ms = monotonic_now_ms() + timeout_ms;
    size_t kept = 0;
    bool line_ended = false;
    for (;;) {
        char chunk[discard_size];
        const ssize_t got = read_before(process.output, chunk, sizeof chunk, deadline_ms);
        if (got < 0) return CommandRun::timed_out;  // the process group is killed on the way out
        if (got == 0) break;
        got_output = true;
        // The rest of the output is read to its end, and dropped.
        for (ssize_t i = 0; i < got && !line_ended && kept + 1 < line.size(); ++i) {
            line[kept++] = chunk[i];
            line_ended = chunk[i] == '\n';
        }
    }
    line[kept] = '\0';
    process.close_output();
    status = process.wait_status();
    return CommandRun::answered;
}
