#include "config/jq_answers.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t command_size = 1024;
constexpr const char* config_keys[config_step_count] = {
    ".popParams.POP_ADDR",
    ".popParams.POP_IFACE",
    ".envParams.OPENR_IFACE_PREFIXES",
};

// Closes the stream and waits for jq on every path.
struct PipeStream {
    FILE* stream;
    explicit PipeStream(FILE* opened) : stream(opened) {}
    ~PipeStream() { close(); }
    PipeStream(const PipeStream&) = delete;
    PipeStream& operator=(const PipeStream&) = delete;

    // The shell's wait status, which is jq's own exit status; -1 if already closed.
    int close() {
        if (stream == nullptr) return -1;
        const int status = pclose(stream);
        stream = nullptr;
        return status;
    }
};

bool exited_zero(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

}  // namespace

bool ask_jq(const char* path, ConfigAnswers& answers) {
    answers = ConfigAnswers{};
    for (int step = 0; step < config_step_count; ++step) {
        char command[command_size];
        std::snprintf(command, sizeof command, "jq -r %s %s", config_keys[step], path);
        // jq is found on the PATH through the shell, as node tooling expects.
        PipeStream jq{popen(command, "re")};  // NOLINT(cert-env33-c)
        if (jq.stream == nullptr) {
            std::fputs("Failed to run command\n", stderr);
            answers.exited_zero = false;
            return false;
        }
        char* line = answers.lines[step];
        const bool got_line = std::fgets(line, answer_size, jq.stream) != nullptr;
        line[std::strcspn(line, "\n")] = '\0';
        answers.got_line[step] = got_line;
        answers.asked = step + 1;
        if (!exited_zero(jq.close())) answers.exited_zero = false;
        if (!next_key_wanted(step, classify_answer(line, got_line))) break;
    }
    return true;
}
