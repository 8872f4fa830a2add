#include "netlink/default_route.h"

#include <linux/rtnetlink.h>

#include <algorithm>
#include <cstdint>

#include "netlink/interface_name.h"

namespace {

constexpr size_t route_attributes_offset = netlink_header_size + sizeof(rtmsg);
constexpr size_t attribute_header_size = sizeof(rtattr);
constexpr size_t interface_index_size = sizeof(uint32_t);
constexpr size_t ipv6_address_size = 16;

}  // namespace

int parse_default_route(Bytes message) {
    if (message.size() < route_attributes_offset) return -1;
    const auto route = read_at<rtmsg>(message, netlink_header_size);
    if (route.rtm_dst_len != 0) return -1;

    // Attributes end where the message says it ends, or earlier where its bytes do.
    const auto declared = read_at<nlmsghdr>(message, 0).nlmsg_len;
    Bytes attributes = message.first(std::min<size_t>(declared, message.size()))
                           .subspan(route_attributes_offset);

    int output_index = -1;
    bool has_gateway = false;
    while (attributes.size() >= attribute_header_size) {
        const auto attribute = read_at<rtattr>(attributes, 0);
        if (attribute.rta_len < attribute_header_size || attribute.rta_len > attributes.size()) break;
        const size_t payload = attribute.rta_len - attribute_header_size;
        if (attribute.rta_type == RTA_OIF && payload >= interface_index_size) {
            output_index = static_cast<int>(read_at<uint32_t>(attributes, attribute_header_size));
        } else if (attribute.rta_type == RTA_GATEWAY && payload >= ipv6_address_size) {
            has_gateway = true;
        }
        attributes = attributes.subspan(std::min(align4(attribute.rta_len), attributes.size()));
    }

    if (!has_gateway || output_index <= 0) return -1;
    InterfaceName name;
    return interface_name(output_index, name) ? output_index : -1;
}
