#pragma once

// Builders for crafted routing-netlink bytes, laid out as the kernel lays them.

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "netlink/message_walk.h"

namespace crafted {

using Buffer = std::vector<std::byte>;

// Appends the bytes of `value`. The buffer grows through one resize to its new
// size and a copy into it: GCC 12 at -O3 misreads a growing insert into a small
// vector as an out-of-bounds copy.
template <class T>
void put(Buffer& out, const T& value) {
    const size_t at = out.size();
    out.resize(at + sizeof value);
    std::memcpy(out.data() + at, &value, sizeof value);
}

inline void append(Buffer& out, const Buffer& more) {
    const size_t at = out.size();
    out.resize(at + more.size());
    if (!more.empty()) std::memcpy(out.data() + at, more.data(), more.size());
}

inline void pad4(Buffer& out) { out.resize(align4(out.size())); }

// Overwrites a field in host byte order, as the kernel writes it, so that a test
// means the same on a big-endian target.
template <class T>
void set_at(Buffer& bytes, size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// nlmsg_len of the message that starts at `offset`.
inline void set_length(Buffer& bytes, size_t offset, uint32_t length) { set_at(bytes, offset, length); }

inline Buffer message(uint16_t type, uint16_t flags, const Buffer& body) {
    nlmsghdr header{};
    header.nlmsg_len = static_cast<uint32_t>(sizeof header + body.size());
    header.nlmsg_type = type;
    header.nlmsg_flags = flags;
    Buffer out;
    put(out, header);
    append(out, body);
    return out;
}

struct Attribute {
    uint16_t type;
    Buffer payload;
    int16_t declared_extra = 0;  // added to rta_len, to lie about the length
};

inline Attribute oif(uint32_t index) {
    Attribute attribute{RTA_OIF, {}};
    put(attribute.payload, index);
    return attribute;
}

inline Attribute gateway() {
    Attribute attribute{RTA_GATEWAY, Buffer(16, std::byte{0xfe})};
    return attribute;
}

// A message of `type` whose body is `fixed` followed by `attributes`.
inline Buffer message_with(uint16_t type, const Buffer& fixed, std::initializer_list<Attribute> attributes,
                           uint32_t sequence = 0, uint16_t flags = 0) {
    Buffer body = fixed;
    for (const Attribute& attribute : attributes) {
        rtattr header{};
        header.rta_len = static_cast<uint16_t>(sizeof header + attribute.payload.size() + attribute.declared_extra);
        header.rta_type = attribute.type;
        put(body, header);
        append(body, attribute.payload);
        pad4(body);
    }
    Buffer out = message(type, flags, body);
    std::memcpy(out.data() + offsetof(nlmsghdr, nlmsg_seq), &sequence, sizeof sequence);
    return out;
}

inline Buffer route_message(uint16_t type, uint8_t dst_len, std::initializer_list<Attribute> attributes,
                            uint16_t flags = 0) {
    rtmsg route{};
    route.rtm_family = 10;
    route.rtm_dst_len = dst_len;
    route.rtm_table = RT_TABLE_MAIN;
    Buffer fixed;
    put(fixed, route);
    return message_with(type, fixed, attributes, 0, flags);
}

inline Buffer default_route(uint32_t index, uint16_t type = RTM_NEWROUTE, uint16_t flags = 0) {
    return route_message(type, 0, {gateway(), oif(index)}, flags);
}

// A link message with `attribute_bytes` of attributes after the ifinfomsg.
inline Buffer link_message(int index, uint32_t flags, size_t attribute_bytes = 0) {
    ifinfomsg link{};
    link.ifi_index = index;
    link.ifi_flags = flags;
    Buffer body;
    put(body, link);
    body.resize(body.size() + attribute_bytes, std::byte{0});
    return message(RTM_NEWLINK, 0, body);
}

inline Buffer datagram(std::initializer_list<Buffer> messages) {
    Buffer out;
    for (const Buffer& one : messages) {
        append(out, one);
        pad4(out);
    }
    return out;
}

inline Bytes view(const Buffer& buffer) { return {buffer.data(), buffer.size()}; }

inline uint32_t loopback_index() { return if_nametoindex("lo"); }

// A socket to name interfaces over, as the daemon names them over one it holds.
inline int names_socket() {
    static const int socket_fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    return socket_fd;
}

// An index no interface has.
constexpr uint32_t missing_index = 0x7ffffff0;

}  // namespace crafted

namespace crafted {

// One rtnexthop of an RTA_MULTIPATH payload, with a gateway unless told otherwise.
inline Buffer multipath_nexthop(int index, bool with_gateway = true, uint8_t flags = 0) {
    struct Gateway {
        rtattr header;
        unsigned char address[16];
    };
    rtnexthop nexthop{};
    nexthop.rtnh_len = static_cast<unsigned short>(sizeof nexthop + (with_gateway ? sizeof(Gateway) : 0));
    nexthop.rtnh_flags = flags;
    nexthop.rtnh_ifindex = index;
    Buffer out;
    put(out, nexthop);
    if (with_gateway) {
        Gateway gateway{};
        gateway.header.rta_len = sizeof gateway;
        gateway.header.rta_type = RTA_GATEWAY;
        std::memset(gateway.address, 0xfe, sizeof gateway.address);
        put(out, gateway);
    }
    return out;
}

inline Attribute multipath(std::initializer_list<Buffer> nexthops) {
    Attribute attribute{RTA_MULTIPATH, {}};
    for (const Buffer& one : nexthops) append(attribute.payload, one);
    return attribute;
}

// A neighbour entry of `family` (its NDA_DST: 16 bytes of `last_byte` for IPv6).
inline Buffer neighbour_message(uint16_t type, uint8_t family, int ifindex, uint16_t state, uint8_t flags,
                                uint8_t last_byte = 1) {
    ndmsg header{};
    header.ndm_family = family;
    header.ndm_ifindex = ifindex;
    header.ndm_state = state;
    header.ndm_flags = flags;
    Buffer fixed;
    put(fixed, header);
    Buffer address(family == AF_INET6 ? 16 : 4, std::byte{0xfe});
    address.back() = std::byte{last_byte};
    return message_with(type, fixed, {Attribute{NDA_DST, address}});
}

inline Attribute u32_attribute(uint16_t type, uint32_t value) {
    Attribute attribute{type, {}};
    put(attribute.payload, value);
    return attribute;
}

}  // namespace crafted
