#pragma once

#include <span>

// One command run through /bin/sh, for its first line of output, with a
// deadline: a command that has not ended by then is killed with every process it
// started (it runs in a process group of its own). Its output past the first
// line is read to the end and dropped.

enum class CommandRun {
    answered,     // it ended within the time allowed
    not_started,  // the shell could not be started
    timed_out,    // it did not end in time, and was killed
};

// Runs `command`, allowing it `timeout_ms`, and keeps the first line of its
// output in `line` (at most line.size() - 1 bytes, newline included, as fgets
// reads it; `line` must not be empty), whether any output came in `got_output`,
// and its wait status in `status`, once it has ended.
CommandRun run_shell_command(const char* command, int timeout_ms, std::span<char> line, bool& got_output,
                             int& status);
