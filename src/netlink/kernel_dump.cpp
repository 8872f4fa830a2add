#include "netlink/kernel_dump.h"

#include <linux/netlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>

#include "netlink/receive_datagram.h"

namespace {

// The kernel's errnos are below this; a larger number is none of them.
constexpr int largest_errno = 4095;

// The errno a message of a dump's end carries: nothing, or a negative errno.
int carried_error(const NetlinkMessage& message) {
    if (message.bytes.size() < netlink_header_size + sizeof(int)) return 0;
    const int error = read_at<int>(message.bytes, netlink_header_size);
    if (error >= 0) return 0;
    return error >= -largest_errno ? -error : EIO;
}

}  // namespace

DumpStep next_dump_step(Bytes& rest, uint32_t sequence, uint16_t type, NetlinkMessage& message, int& error) {
    while (next_message(rest, message)) {
        if (message.sequence != sequence) continue;
        if (message.type == NLMSG_DONE || message.type == NLMSG_ERROR) {
            error = carried_error(message);
            if (error != 0) return DumpStep::refused;
            // An acknowledgement that is no error ends nothing; a dump's NLMSG_DONE does.
            if (message.type == NLMSG_DONE) return DumpStep::done;
            continue;
        }
        if (message.type == type && !message.cut) return DumpStep::message;
    }
    return DumpStep::datagram_end;
}

bool send_kernel_dump(KernelDump& dump, RouteLookup& lookup, int socket_fd, const void* request, size_t size,
                      uint32_t sequence, uint16_t type, const char* what) {
    dump = KernelDump{};
    dump.lookup = &lookup;
    dump.socket_fd = socket_fd;
    dump.sequence = sequence;
    dump.type = type;
    dump.what = what;
    if (send(socket_fd, request, size, 0) < 0) {
        std::fprintf(stderr, "Failed to ask the kernel about its %s: %m\n", what);
        dump.ended = DumpStep::failed;
        return false;
    }
    return true;
}

bool next_dumped_message(KernelDump& dump, NetlinkMessage& message) {
    while (dump.ended == DumpStep::message) {
        const DumpStep step = next_dump_step(dump.rest, dump.sequence, dump.type, message, dump.error);
        if (step == DumpStep::message) return true;
        if (step != DumpStep::datagram_end) {
            dump.ended = step;
            return false;
        }
        if (receive_datagram(dump.socket_fd, dump.lookup->reply) < 0) {
            std::fprintf(stderr, "No answer from the kernel about its %s: %m\n", dump.what);
            dump.ended = DumpStep::failed;
            return false;
        }
        dump.rest = dump.lookup->reply.view();
    }
    return false;
}
