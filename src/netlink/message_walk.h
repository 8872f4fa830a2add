#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// Read-only bytes as they came from the kernel. Every reader below takes a view
// and never looks past its end.
using Bytes = std::span<const std::byte>;

constexpr size_t netlink_header_size = 16;

constexpr size_t align4(size_t length) { return (length + 3) & ~size_t{3}; }

// Reads a plain value at `offset`; the caller has checked that it fits.
template <class T>
T read_at(Bytes bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

struct NetlinkMessage {
    uint16_t type = 0;
    uint16_t flags = 0;
    uint32_t sequence = 0;
    // The message as far as it was received: nlmsg_len bytes, or fewer when the
    // datagram was cut by the reader's buffer (then `cut` is set).
    Bytes bytes;
    bool cut = false;
};

// Takes the next message off the front of `rest`. Returns false when no header is
// left or nlmsg_len is below a header's size. A message that claims more bytes
// than remain is returned cut, and nothing follows it.
bool next_message(Bytes& rest, NetlinkMessage& message);

// Where a dump stands after one of its datagrams: more to come, done, or failed.
enum class DumpProgress { more, done, failed };

// One attribute (rtattr or nlattr: the same four-byte header) and its payload.
struct NetlinkAttribute {
    uint16_t type = 0;
    Bytes payload;
};

// Takes the next attribute off the front of `rest`. Returns false, and ends the
// walk, when no whole attribute header is left or the attribute claims fewer bytes
// than its header or more than remain.
bool next_attribute(Bytes& rest, NetlinkAttribute& attribute);

// The attributes of `message`, which start `fixed_size` bytes in (the netlink
// header and the family's own header): they end where nlmsg_len says, or earlier
// where the bytes do. Empty when the message is too short for its fixed part.
Bytes message_attributes(Bytes message, size_t fixed_size);
