#include "netlink/message_walk.h"

#include <linux/netlink.h>

#include <algorithm>

bool next_message(Bytes& rest, NetlinkMessage& message) {
    if (rest.size() < netlink_header_size) return false;
    const auto header = read_at<nlmsghdr>(rest, 0);
    if (header.nlmsg_len < netlink_header_size) {
        rest = {};
        return false;
    }
    message.type = header.nlmsg_type;
    message.flags = header.nlmsg_flags;
    if (header.nlmsg_len > rest.size()) {
        message.bytes = rest;
        message.cut = true;
        rest = {};
        return true;
    }
    message.bytes = rest.first(header.nlmsg_len);
    message.cut = false;
    rest = rest.subspan(std::min(align4(header.nlmsg_len), rest.size()));
    return true;
}
