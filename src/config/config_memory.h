#pragma once

#include <string_view>

#include "config/config_answers.h"
#include "config/config_file.h"

// What the reader keeps between two reads, so that bytes jq has already answered
// cost no jq run: the contents and answers of the last clean read, and room for
// the file as it is read now. Over two megabytes: give it static storage.
struct ConfigMemory {
    bool held = false;  // `contents` and `answers` are a clean read
    // Or the last read was unclean, of `contents` or of no file at all
    // (`missing`): jq would say the same of them again, complaint included.
    bool unclean = false;
    bool missing = false;
    ConfigBytes contents;
    ConfigAnswers answers;
    ConfigBytes fresh;
};

// A read is clean when every key it asked gave a line and every jq exited with
// status 0: then its answers are what jq says of those bytes, every time.
bool read_is_clean(const ConfigAnswers& answers);

// The answers of the last clean read, when `contents` are byte for byte those it
// read; nullptr otherwise.
const ConfigAnswers* recall_config_answers(const ConfigMemory& memory, std::string_view contents);

// Remembers a read that ran jq: `answers` for `contents`, the bytes read before
// the first jq run, when the read was clean and `unchanged` (the file held the
// same bytes after the last run, or was `missing` before the first and after the
// last). An unclean read that was unchanged is remembered as unclean, with its
// bytes. Otherwise it forgets what it held, so that no answers older than the
// last jq run are ever reused.
void remember_config_read(ConfigMemory& memory, std::string_view contents, bool unchanged, bool missing,
                          const ConfigAnswers& answers);

// Whether the last read was unclean and the file is as it was then: it holds
// `contents` byte for byte, or is still missing (`missing`).
bool still_unclean(const ConfigMemory& memory, std::string_view contents, bool missing);
