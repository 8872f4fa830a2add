#pragma once

#include <sys/types.h>

#include "netlink/heap_buffer.h"

// Receives the next datagram whole into `buffer`, growing it to the datagram's
// size first, so that nothing the kernel sent is ever cut. Datagrams that do not
// come from the kernel are dropped. Returns the datagram's length, or -1 with
// errno set (a receive timeout included); -1 with errno ENOMEM when the buffer
// cannot grow.
ssize_t receive_datagram(int fd, HeapBuffer& buffer);
