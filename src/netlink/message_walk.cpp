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
    message.sequence = header.nlmsg_seq;
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

bool next_attribute(Bytes& rest, NetlinkAttribute& attribute) {
    constexpr size_t header_size = sizeof(nlattr);
    if (rest.size() < header_size) return false;
    const auto header = read_at<nlattr>(rest, 0);
    if (header.nla_len < header_size || header.nla_len > rest.size()) {
        rest = {};
        return false;
    }
    attribute.type = header.nla_type;
    attribute.payload = rest.subspan(header_size, header.nla_len - header_size);
    rest = rest.subspan(std::min(align4(header.nla_len), rest.size()));
    return true;
}

Bytes message_attributes(Bytes message, size_t fixed_size) {
    if (message.size() < std::max(fixed_size, netlink_header_size)) return {};
    const auto declared = read_at<nlmsghdr>(message, 0).nlmsg_len;
    if (declared < fixed_size) return {};
    return message.first(std::min<size_t>(declared, message.size())).subspan(fixed_size);
}
