#include "config/jq_answers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

extern char** environ;  // NOLINT(readability-redundant-declaration): for posix_spawn

namespace {

constexpr size_t command_size = 1024;
constexpr const char* config_keys[config_step_count] = {
    ".popParams.POP_ADDR",
    ".popParams.POP_IFACE",
    ".envParams.OPENR_IFACE_PREFIXES",
};
// jq answers in tens of milliseconds; one that has not answered by then never
// will (a FIFO put in the file's place, a wedged file system), and the daemon
// must go on.
constexpr int answer_timeout_ms = 5000;
constexpr int milliseconds_per_second = 1000;
constexpr long long nanoseconds_per_millisecond = 1000000;
constexpr size_t discard_size = 4096;

long long monotonic_now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * milliseconds_per_second + now.tv_nsec / nanoseconds_per_millisecond;
}

enum class JqRun {
    answered,     // it ended within the time allowed
    not_started,  // the shell could not be started
    timed_out,    // it did not end in time, and was killed
};

// One jq through the shell, in a process group of its own, so that a run that
// does not answer is ended with every process it started.
struct JqProcess {
    pid_t pid = -1;
    int output = -1;  // the read end of its standard output

    JqProcess() = default;
    JqProcess(const JqProcess&) = delete;
    JqProcess& operator=(const JqProcess&) = delete;
    ~JqProcess() {
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

    // The shell's wait status, which is jq's own exit status.
    int wait_status() {
        int status = -1;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        return status;
    }
};

bool start(const char* command, JqProcess& jq) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    jq.output = ends[0];
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
    // jq is found on the PATH through the shell, as node tooling expects.
    const int error = posix_spawn(&jq.pid, "/bin/sh", &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(ends[1]);
    if (error != 0) jq.pid = -1;
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

// Runs `command` and keeps the first line of its output in `line` (at most
// answer_size - 1 bytes, as fgets reads it), whether one came in `got_line`, and
// its wait status in `status`.
JqRun run_jq(const char* command, char* line, bool& got_line, int& status) {
    JqProcess jq;
    if (!start(command, jq)) return JqRun::not_started;
    const long long deadline_ms = monotonic_now_ms() + answer_timeout_ms;
    size_t kept = 0;
    bool line_ended = false;
    for (;;) {
        char chunk[discard_size];
        const ssize_t got = read_before(jq.output, chunk, sizeof chunk, deadline_ms);
        if (got < 0) return JqRun::timed_out;  // the process group is killed on the way out
        if (got == 0) break;
        got_line = true;
        // The rest of the output is read to its end, and dropped.
        for (ssize_t i = 0; i < got && !line_ended && kept < answer_size - 1; ++i) {
            line[kept++] = chunk[i];
            line_ended = chunk[i] == '\n';
        }
    }
    line[kept] = '\0';
    jq.close_output();
    status = jq.wait_status();
    return JqRun::answered;
}

bool exited_zero(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// Something other than a regular file in the configuration's place: a FIFO
// would have jq wait for a writer for ever, a device read who knows what. A
// missing file is jq's to report, in its own words.
bool not_a_regular_file(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && !S_ISREG(status.st_mode);
}

}  // namespace

bool ask_jq(const char* path, ConfigAnswers& answers) {
    answers = ConfigAnswers{};
    if (not_a_regular_file(path)) {
        std::fprintf(stderr, "Configuration %s is not a regular file, not read\n", path);
        answers.exited_zero = false;
        return false;
    }
    for (int step = 0; step < config_step_count; ++step) {
        char command[command_size];
        std::snprintf(command, sizeof command, "jq -r %s %s", config_keys[step], path);
        char* line = answers.lines[step];
        bool got_line = false;
        int status = -1;
        const JqRun run = run_jq(command, line, got_line, status);
        if (run != JqRun::answered) {
            if (run == JqRun::not_started) {
                std::fputs("Failed to run command\n", stderr);
            } else {
                std::fprintf(stderr, "jq gave no answer about %s within %d s, stopped\n", path,
                             answer_timeout_ms / milliseconds_per_second);
            }
            line[0] = '\0';
            answers.exited_zero = false;
            return false;
        }
        line[std::strcspn(line, "\n")] = '\0';
        answers.got_line[step] = got_line;
        answers.asked = step + 1;
        if (!exited_zero(status)) answers.exited_zero = false;
        if (!next_key_wanted(step, classify_answer(line, got_line))) break;
    }
    return true;
}
