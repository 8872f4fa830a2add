#include "netlink/address_message.h"

#include <linux/if_addr.h>

bool read_address_message(Bytes message, AddressMessage& address) {
    address = AddressMessage{};
    if (message.size() < netlink_header_size + sizeof(ifaddrmsg)) return false;
    const auto header = read_at<ifaddrmsg>(message, netlink_header_size);
    address.family = header.ifa_family;
    address.ifindex = static_cast<int>(header.ifa_index);
    return true;
}
