#include "config/node_config.h"

#include <cstdio>
#include <cstring>

#include "config/config_answers.h"

namespace {

constexpr size_t command_size = 1024;
constexpr size_t answer_size = 1024;
constexpr const char* config_keys[config_step_count] = {
    ".popParams.POP_ADDR",
    ".popParams.POP_IFACE",
    ".envParams.OPENR_IFACE_PREFIXES",
};

// Closes the stream and waits for jq on every path.
struct PipeStream {
    FILE* stream;
    explicit PipeStream(FILE* opened) : stream(opened) {}
    ~PipeStream() {
        if (stream != nullptr) pclose(stream);
    }
    PipeStream(const PipeStream&) = delete;
    PipeStream& operator=(const PipeStream&) = delete;
};

}  // namespace

int load_node_config(NodeConfig& config, const char* path) {
    ConfigRead read;
    for (int step = 0; step < config_step_count; ++step) {
        char command[command_size];
        std::snprintf(command, sizeof command, "jq -r %s %s", config_keys[step], path);
        char answer[answer_size] = {};
        // jq is found on the PATH through the shell, as node tooling expects.
        const PipeStream jq{popen(command, "re")};  // NOLINT(cert-env33-c)
        if (jq.stream == nullptr) {
            std::fputs("Failed to run command\n", stderr);
            return -1;
        }
        const bool got_line = std::fgets(answer, sizeof answer, jq.stream) != nullptr;
        answer[std::strcspn(answer, "\n")] = '\0';
        if (!take_config_answer(config, read, step, classify_answer(answer, got_line), answer)) break;
    }
    return finish_config_read(config, read);
}
