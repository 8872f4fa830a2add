#include "config/config_answers.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view null_word = "null";
constexpr std::string_view routed_nic_prefix = "nic";

// cppcheck-suppress constParameter ; it is written through memset and memcpy
void copy_interface_name(char (&target)[IF_NAMESIZE], std::string_view source) {
    std::memset(target, 0, sizeof target);
    std::memcpy(target, source.data(), std::min(source.size(), sizeof target - 1));
}

}  // namespace

AnswerKind classify_answer(const char* line, bool got_line) {
    if (!got_line) return AnswerKind::no_line;
    const std::string_view text{line};
    if (text.starts_with(null_word)) return AnswerKind::null;
    if (text.empty()) return AnswerKind::empty;
    return AnswerKind::value;
}

void routed_nic_from_prefixes(const char* prefixes, char (&routed_nic)[IF_NAMESIZE]) {
    std::memset(routed_nic, 0, sizeof routed_nic);
    std::string_view rest{prefixes};
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view entry = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        if (entry.starts_with(routed_nic_prefix)) copy_interface_name(routed_nic, entry);
    }
}

bool next_key_wanted(int step, AnswerKind kind) {
    if (step >= step_iface_prefixes) return false;
    return kind == AnswerKind::no_line || kind == AnswerKind::value;
}

bool take_config_answer(NodeConfig& config, ConfigRead& read, int step, AnswerKind kind, const char* value) {
    if (kind == AnswerKind::null || kind == AnswerKind::empty) {
        config.is_pop = false;
    } else if (kind == AnswerKind::value) {
        switch (step) {
            case step_pop_addr:
                read.found_addr = true;
                break;
            case step_pop_iface:
                copy_interface_name(config.pop_iface, value);
                read.found_iface = true;
                break;
            default:
                routed_nic_from_prefixes(value, config.routed_nic);
                break;
        }
    }
    return next_key_wanted(step, kind);
}

int finish_config_read(NodeConfig& config, const ConfigRead& read) {
    if (read.found_addr && read.found_iface) {
        config.is_pop = true;
        return 1;
    }
    return config.is_pop ? 1 : 0;
}

void take_config_answers(NodeConfig& config, ConfigRead& read, const ConfigAnswers& answers) {
    for (int step = 0; step < answers.asked && step < config_step_count; ++step) {
        const char* line = answers.lines[step];
        if (!take_config_answer(config, read, step, classify_answer(line, answers.got_line[step]), line)) return;
    }
}

int apply_config_answers(NodeConfig& config, const ConfigAnswers& answers) {
    ConfigRead read;
    take_config_answers(config, read, answers);
    return finish_config_read(config, read);
}
