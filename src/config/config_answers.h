#pragma once

#include <cstddef>

#include "config/node_config.h"

// The node configuration keys, asked in this order.
enum ConfigStep { step_pop_addr = 0, step_pop_iface = 1, step_iface_prefixes = 2, config_step_count = 3 };

// What the first line of an answer about one key amounts to.
enum class AnswerKind {
    no_line,  // nothing came: the file is missing or unreadable, or jq is absent
    null,     // begins with the four letters "null"
    empty,    // a zero-length line
    value,
};

AnswerKind classify_answer(const char* line, bool got_line);

// Whether the key after `step` is asked, given the answer about `step`. Only the
// answers decide it, never what the configuration held before.
bool next_key_wanted(int step, AnswerKind kind);

// What one call of the reader has seen so far.
struct ConfigRead {
    bool found_addr = false;
    bool found_iface = false;
};

// Applies the answer for `step` to `config`. Returns true when the next key should
// be asked, false when the read goes straight to finish_config_read.
bool take_config_answer(NodeConfig& config, ConfigRead& read, int step, AnswerKind kind, const char* value);

// Ends a read: a POP address and a POP interface together make the node a POP.
// Returns 1 when it has just set is_pop, otherwise is_pop as it stands.
int finish_config_read(NodeConfig& config, const ConfigRead& read);

// From a comma-separated prefix list, the last entry that begins with "nic", cut
// to 15 characters; empty entries are skipped and nothing is trimmed. Leaves
// `routed_nic` empty when no entry matches.
void routed_nic_from_prefixes(const char* prefixes, char (&routed_nic)[IF_NAMESIZE]);

// jq's first line about a key is read into this many bytes, newline cut off.
constexpr size_t answer_size = 1024;

// What jq answered in one read of the configuration, key by key in order, as far
// as the answers led.
struct ConfigAnswers {
    int asked = 0;  // the keys asked, from the first
    bool got_line[config_step_count] = {};
    char lines[config_step_count][answer_size] = {};
    bool exited_zero = true;  // every jq asked exited with status 0
};

// Runs the rules above over the answers of one read, in order, without the
// finishing rule (a read that jq could not finish ends so).
void take_config_answers(NodeConfig& config, ConfigRead& read, const ConfigAnswers& answers);

// The same, then the finishing rule: the state changes exactly as it did when jq
// gave these answers. Returns as finish_config_read.
int apply_config_answers(NodeConfig& config, const ConfigAnswers& answers);
