#pragma once

#include <linux/netlink.h>
#include <sys/types.h>

#include "netlink/heap_buffer.h"

// One recvmsg() of at most `size` bytes into `into`, with `flags`; the sender's
// address lands in `sender` (port id 0 is the kernel).
ssize_t receive_from(int fd, void* into, size_t size, int flags, sockaddr_nl& sender);

// Receives the next datagram whole into `buffer`, growing it to the datagram's
// size first, so that nothing the kernel sent is ever cut. Datagrams that do not
// come from the kernel are dropped. Returns the datagram's length, or -1 with
// errno set (a receive timeout included); -1 with errno ENOMEM when the buffer
// cannot grow.
ssize_t receive_datagram(int fd, HeapBuffer& buffer);
