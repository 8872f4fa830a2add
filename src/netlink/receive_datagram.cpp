#include "netlink/receive_datagram.h"

#include <sys/socket.h>

#include <cerrno>

ssize_t receive_from(int fd, void* into, size_t size, int flags, sockaddr_nl& sender) {
    iovec vector{into, size};
    msghdr header{};
    header.msg_name = &sender;
    header.msg_namelen = sizeof sender;
    header.msg_iov = &vector;
    header.msg_iovlen = 1;
    return recvmsg(fd, &header, flags);
}

ssize_t receive_datagram(int fd, HeapBuffer& buffer) {
    for (;;) {
        sockaddr_nl sender{};
        std::byte probe;
        const ssize_t size = receive_from(fd, &probe, sizeof probe, MSG_PEEK | MSG_TRUNC, sender);
        if (size < 0) return -1;
        if (!buffer.reserve(static_cast<size_t>(size))) {
            errno = ENOMEM;
            return -1;
        }
        const ssize_t received = receive_from(fd, buffer.data, buffer.capacity, 0, sender);
        if (received < 0) return -1;
        if (sender.nl_pid != 0) continue;  // only the kernel speaks for the routing table
        buffer.used = static_cast<size_t>(received);
        return received;
    }
}
