#pragma once

#include <cstdint>

#include "netlink/heap_buffer.h"
#include "netlink/message_walk.h"

// Asking the kernel, one request and one reply at a time, which route it uses
// and what a nexthop object holds.

struct RouteLookup {
    int socket_fd = -1;  // the socket kept for every request, once there is one
    uint32_t sequence = 0;
    HeapBuffer reply;         // the route asked for, or the nexthop object it names
    HeapBuffer member_reply;  // a member of that object, when it is a group; the forwarding setting
};

// The socket every request goes on, kept for the process's life: opened now if
// there is none yet. Open it only once the monitor holds the process id as its
// port id. Returns -1, after its stderr line, when no socket can be had.
int lookup_socket(RouteLookup& lookup);

enum class KernelAnswer {
    found,    // the kernel answered with what was asked for
    refused,  // the kernel answered with an error: no such route or object
    failed,   // no answer: the request or the receive failed (after a stderr line)
};

// The reply to request `sequence` in one datagram: 1 with `answer` set to its
// message of type `type`, a negative errno when the kernel refused the request, 0
// when the datagram holds nothing for that request (a late reply to an earlier
// one). An answer cut short counts as nothing.
int read_kernel_reply(Bytes datagram, uint32_t sequence, uint16_t type, Bytes& answer);

// The addresses whose route a lookup asks for, in turn. 3000:: comes first:
// 3000::/4 is global unicast space that has never been allocated, so no network
// announces it and a node sends traffic there by its default route. A node may
// still route all of 2000::/3 elsewhere (some VPNs do): then 4000:: and 8000::,
// outside it, are asked. (:: would not do: it falls inside ::/96, which a sit
// tunnel routes.)
inline constexpr size_t internet_probe_count = 3;
inline constexpr unsigned char internet_probe_addresses[internet_probe_count][16] = {{0x30}, {0x40}, {0x80}};

// Asks which IPv6 route the kernel itself would send traffic for `destination`
// (16 bytes) through: the route the lookup matched (RTM_F_FIB_MATCH), in `route`.
KernelAnswer lookup_route_to(RouteLookup& lookup, int socket_fd, const unsigned char (&destination)[16], Bytes& route);

// Asks whether the node forwards IPv6 (its "all" setting, which the kernel's
// choice of routers weighs), into `forwards`.
KernelAnswer lookup_forwarding(RouteLookup& lookup, int socket_fd, bool& forwards);

// Asks for nexthop object `id`, into `into` (lookup.reply or lookup.member_reply).
KernelAnswer lookup_nexthop(RouteLookup& lookup, int socket_fd, uint32_t id, HeapBuffer& into, Bytes& object);
