#pragma once

#include <cstddef>
#include <string_view>

// A node configuration larger than this is no configuration this daemon can
// remember: it is asked about through jq each time, as an unreadable one is.
constexpr size_t config_bytes_limit = size_t{1} << 20;

// A configuration file's whole contents.
struct ConfigBytes {
    size_t size = 0;
    char bytes[config_bytes_limit];

    std::string_view view() const { return {bytes, size}; }
};

// Reads the whole of the regular file at `path` into `into`. Returns false when it
// cannot: the file is missing, unreadable, not a regular file, or larger than
// config_bytes_limit.
bool read_config_bytes(const char* path, ConfigBytes& into);

// Whether nothing is at `path`.
bool config_file_missing(const char* path);

// Whether the regular file at `path` holds exactly `expected` now.
bool config_file_holds(const char* path, std::string_view expected);
