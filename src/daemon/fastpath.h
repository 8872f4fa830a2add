#pragma once

// The only two ways the daemon acts on the fastpath module. A failed write prints
// one line on stderr naming the file, and the daemon carries on.

// The module's upstream port becomes interface `name`. Returns whether the file
// was written.
bool set_upstream_port(const char* name);

// The module drops its current entry.
void flush_fastpath();

// Replaces the contents of `path` with `text`, as the shell's `>` would. Returns
// false (after its stderr line) when the file cannot be opened or written.
bool write_fastpath_file(const char* path, const char* text);
