#pragma once

#include <cstdint>

#include "netlink/message_walk.h"

// The link's index and flags, when the message holds its fixed header (a link
// message cut after its ifinfomsg still does).
bool read_link_header(Bytes message, int& ifindex, uint32_t& flags);
