#include "netlink/link_message.h"

#include <linux/rtnetlink.h>

#include <cstddef>

namespace {

constexpr size_t link_flags_end = netlink_header_size + offsetof(ifinfomsg, ifi_change);

}  // namespace

bool read_link_header(Bytes message, int& ifindex, uint32_t& flags) {
    if (message.size() < link_flags_end) return false;
    ifindex = read_at<int32_t>(message, netlink_header_size + offsetof(ifinfomsg, ifi_index));
    flags = read_at<uint32_t>(message, netlink_header_size + offsetof(ifinfomsg, ifi_flags));
    return true;
}
