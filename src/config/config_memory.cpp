#include "config/config_memory.h"

#include <cstring>

bool read_is_clean(const ConfigAnswers& answers) {
    if (!answers.exited_zero || answers.asked < 1 || answers.asked > config_step_count) return false;
    for (int step = 0; step < answers.asked; ++step) {
        if (!answers.got_line[step]) return false;
    }
    return true;
}

const ConfigAnswers* recall_config_answers(const ConfigMemory& memory, std::string_view contents) {
    return memory.held && memory.contents.view() == contents ? &memory.answers : nullptr;
}

void remember_config_read(ConfigMemory& memory, std::string_view contents, bool unchanged, bool missing,
                          const ConfigAnswers& answers) {
    memory.held = memory.unclean = memory.missing = false;
    if (!unchanged || contents.size() > sizeof memory.contents.bytes) return;
    // `contents` may be the memory's own fresh bytes.
    std::memmove(memory.contents.bytes, contents.data(), contents.size());
    memory.contents.size = contents.size();
    if (read_is_clean(answers) && !missing) {
        memory.answers = answers;
        memory.held = true;
        return;
    }
    memory.unclean = true;
    memory.missing = missing;
}

bool still_unclean(const ConfigMemory& memory, std::string_view contents, bool missing) {
    if (!memory.unclean || missing != memory.missing) return false;
    return missing || memory.contents.view() == contents;
}
