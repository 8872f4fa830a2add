#include "netlink/gateway_address.h"

#include <cstring>

namespace {

constexpr size_t ipv4_size = 4;
constexpr size_t ipv4_mapped_at = 12;  // ::ffff:a.b.c.d
constexpr size_t ipv4_marker_at = 10;

}  // namespace

bool read_gateway_address(Bytes payload, GatewayAddress& address) {
    address = GatewayAddress{};
    if (payload.size() < address.bytes.size()) return false;
    std::memcpy(address.bytes.data(), payload.data(), address.bytes.size());
    return true;
}

bool read_nexthop_gateway(Bytes payload, GatewayAddress& address) {
    if (payload.size() != ipv4_size) return read_gateway_address(payload, address);
    address = GatewayAddress{};
    address.bytes[ipv4_marker_at] = address.bytes[ipv4_marker_at + 1] = std::byte{0xff};
    std::memcpy(address.bytes.data() + ipv4_mapped_at, payload.data(), ipv4_size);
    return true;
}
