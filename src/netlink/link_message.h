#pragma once

#include <cstdint>

#include "netlink/interface_name.h"
#include "netlink/message_walk.h"

// The link's index and flags, when the message holds its fixed header (a link
// message cut after its ifinfomsg still does).
bool read_link_header(Bytes message, int& ifindex, uint32_t& flags);

// The flags this message reports changed (ifi_change), or 0 when its bytes end
// before them.
uint32_t read_link_change(Bytes message);

// The link's name as the message gives it (IFLA_IFNAME), which a deleted link no
// longer has in the kernel. Leaves `name` empty and returns false when the
// message's bytes hold none.
bool read_link_name(Bytes message, InterfaceName& name);
