#pragma once

#include "netlink/heap_buffer.h"
#include "netlink/message_walk.h"

// The subscription to the kernel's link, neighbour, IPv6 address, IPv6 route,
// IPv6 rule, IPv6 netconf and nexthop-object notifications: a routing netlink
// socket bound to the process id as its port id, in those groups, with a queue
// large enough for a route storm.

// Opens and binds the socket. Returns its descriptor, or -1 after its stderr line
// ("Netlink socket creation failed." or "Failed to bind netlink socket: ...").
// No other routing netlink socket of the process may be open meanwhile: the
// kernel gives the process id to the first socket that asks for none.
int open_notification_socket();

enum class Received {
    datagram,  // a notification datagram from the kernel, in `datagram`
    empty,     // nothing to handle: nothing queued, or a datagram not from the kernel
    lost,      // the queue overflowed: notifications were dropped
};

// Takes one queued datagram without waiting, whole: `buffer` holds the longest
// notification the kernel makes (a multipath route of many members is several
// kilobytes). One longer still arrives cut, and counts as lost; the buffer then
// grows to take the next one whole.
Received receive_notification(int socket_fd, HeapBuffer& buffer, Bytes& datagram);

// Throws away the notifications still queued: after a loss they are stale.
void drop_queued_notifications(int socket_fd);
