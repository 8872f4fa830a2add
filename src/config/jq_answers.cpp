#include "config/jq_answers.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>

#include "config/shell_command.h"

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
        const CommandRun run = run_shell_command(command, answer_timeout_ms, {line, answer_size}, got_line, status);
        if (run != CommandRun::answered) {
            if (run == CommandRun::not_started) {
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
