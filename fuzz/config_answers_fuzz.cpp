// The configuration answer rules with the prefix-list split. The first byte says
// which of the three keys gave no line at all; the rest holds the three answers,
// one a line, as jq's first lines would.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config_answers.h"

namespace {

void check_name(const char (&name)[IF_NAMESIZE]) {
    if (strnlen(name, sizeof name) >= sizeof name) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string answers[config_step_count];
    size_t start = 0;
    for (int step = 0; step < config_step_count; ++step) {
        const size_t end = text.find('\n', start);
        answers[step] = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
    }

    NodeConfig state;
    state.is_pop = (data[0] & 0x80) != 0;
    const NodeConfig before = state;
    ConfigRead read;
    for (int step = 0; step < config_step_count; ++step) {
        const bool got_line = (data[0] & (1 << step)) == 0;
        const char* value = answers[step].c_str();  // cut at a NUL, as fgets' buffer would be read
        if (!take_config_answer(state, read, step, classify_answer(value, got_line), value)) break;
    }
    const int result = finish_config_read(state, read);
    if (result != (state.is_pop ? 1 : 0)) std::abort();
    if (read.found_addr && read.found_iface && !state.is_pop) std::abort();
    check_name(state.pop_iface);
    check_name(state.routed_nic);
    if (state.routed_nic[0] != '\0' && std::strncmp(state.routed_nic, "nic", 3) != 0 &&
        std::strcmp(state.routed_nic, before.routed_nic) != 0) {
        std::abort();
    }

    char routed_nic[IF_NAMESIZE];
    routed_nic_from_prefixes(answers[2].c_str(), routed_nic);
    check_name(routed_nic);
    if (routed_nic[0] != '\0' && std::strncmp(routed_nic, "nic", 3) != 0) std::abort();
    return 0;
}
