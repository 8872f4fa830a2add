#pragma once

#include <cstddef>
#include <cstdint>

#include <linux/netlink.h>

#include "netlink/message_walk.h"
#include "netlink/route_lookup.h"

// A dump asked of the kernel on the lookup socket, read one message at a time as
// its datagrams come: a table of any size costs one datagram of memory. Nothing
// else may be asked on that socket until the dump has ended.

enum class DumpStep {
    message,       // a message of the dump, of the type asked for
    datagram_end,  // this datagram holds no more of the dump
    done,          // the dump has ended
    refused,       // the kernel refused the dump, or broke it off: `error` holds its errno
    failed,        // no answer: the request or a receive failed (after a stderr line)
};

// Takes the next message of dump `sequence` of type `type` off the front of
// `rest`, stepping over the replies of other requests and other types. The
// kernel ends a dump with NLMSG_DONE, which carries the errno of a dump it broke
// off, and refuses one with NLMSG_ERROR.
DumpStep next_dump_step(Bytes& rest, uint32_t sequence, uint16_t type, NetlinkMessage& message, int& error);

struct KernelDump {
    RouteLookup* lookup = nullptr;
    int socket_fd = -1;
    uint32_t sequence = 0;
    uint16_t type = 0;      // the messages wanted
    const char* what = "";  // what is listed, for the lines on stderr
    Bytes rest;             // what is left of the datagram being read
    DumpStep ended = DumpStep::message;  // how it ended; message while it goes on
    int error = 0;          // the errno of a refusal
};

// Sends dump request `request` (`size` bytes, whose header asks as `sequence`)
// for messages of type `type`. Returns false, after its stderr line, when it
// could not be sent.
bool send_kernel_dump(KernelDump& dump, RouteLookup& lookup, int socket_fd, const void* request, size_t size,
                      uint32_t sequence, uint16_t type, const char* what);

// Fills the header of dump request `request` (a record whose first member,
// `header`, is its nlmsghdr) for a request of type `request_type`, the lookup's
// next, and sends it (send_kernel_dump) for messages of type `type`.
template <class Request>
bool start_kernel_dump(KernelDump& dump, RouteLookup& lookup, int socket_fd, Request& request, uint16_t request_type,
                       uint16_t type, const char* what) {
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = request_type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++lookup.sequence;
    return send_kernel_dump(dump, lookup, socket_fd, &request, sizeof request, request.header.nlmsg_seq, type, what);
}

// The next message of the dump. Returns false once the dump has ended: `ended`
// says done, refused or failed.
bool next_dumped_message(KernelDump& dump, NetlinkMessage& message);
