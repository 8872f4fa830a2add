#include "netlink/neighbour_message.h"

#include <linux/neighbour.h>
#include <sys/socket.h>

namespace {

constexpr size_t neighbour_fixed_size = netlink_header_size + sizeof(ndmsg);

}  // namespace

bool read_neighbour_message(Bytes message, NeighbourMessage& neighbour) {
    neighbour = NeighbourMessage{};
    if (message.size() < neighbour_fixed_size) return false;
    const auto header = read_at<ndmsg>(message, netlink_header_size);
    neighbour.family = header.ndm_family;
    neighbour.ifindex = header.ndm_ifindex;
    neighbour.state = header.ndm_state;
    neighbour.flags = header.ndm_flags;
    if (neighbour.family != AF_INET6) return true;
    Bytes attributes = message_attributes(message, neighbour_fixed_size);
    NetlinkAttribute attribute;
    while (next_attribute(attributes, attribute)) {
        if (attribute.type == NDA_DST) {
            read_gateway_address(attribute.payload, neighbour.address);
            break;
        }
    }
    return true;
}
