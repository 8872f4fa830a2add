#pragma once

#include "config/config_answers.h"

// Asks jq about the configuration at `path`, one key at a time in order, as far as
// the answers lead, and gathers its first lines into `answers`. Returns false,
// after one line on stderr, when the read could not be finished: a jq could not be
// started ("Failed to run command"), one did not answer within a few seconds (it
// is killed), or `path` is there but not a regular file (no jq runs); the
// answers gathered before count. `path` goes into a shell command as it is: pass
// only paths that need no quoting.
bool ask_jq(const char* path, ConfigAnswers& answers);
