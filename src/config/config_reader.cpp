#include "config/config_reader.h"

#include "config/config_answers.h"
#include "config/config_file.h"
#include "config/jq_answers.h"

namespace {

// `readable`: memory.fresh holds the file as read just before.
int read_through_jq(NodeConfig& config, ConfigMemory& memory, const char* path, bool readable) {
    const bool missing = !readable && config_file_missing(path);
    ConfigAnswers answers;
    const bool finished = ask_jq(path, answers);
    // The bytes jq answered about are those read before it only if the file still
    // holds them after it: an edit in between must not be remembered. Nor is a
    // read that jq did not finish (stopped, or not started): another may.
    const bool unchanged =
        finished && (readable ? config_file_holds(path, memory.fresh.view()) : missing && config_file_missing(path));
    remember_config_read(memory, memory.fresh.view(), unchanged, missing, answers);
    if (!finished) {
        ConfigRead read;
        take_config_answers(config, read, answers);
        return -1;
    }
    return apply_config_answers(config, answers);
}

}  // namespace

int load_node_config(NodeConfig& config, ConfigMemory& memory, const char* path) {
    const bool readable = read_config_bytes(path, memory.fresh);
    if (readable) {
        const ConfigAnswers* known = recall_config_answers(memory, memory.fresh.view());
        if (known != nullptr) return apply_config_answers(config, *known);
    }
    return read_through_jq(config, memory, path, readable);
}

bool config_still_unclean(ConfigMemory& memory, const char* path) {
    if (!memory.unclean) return false;
    const bool readable = read_config_bytes(path, memory.fresh);
    return still_unclean(memory, memory.fresh.view(), !readable && config_file_missing(path));
}

int reload_node_config(NodeConfig& config, ConfigMemory& memory, const char* path) {
    return read_through_jq(config, memory, path, read_config_bytes(path, memory.fresh));
}
