#pragma once

#include <cstdint>

#include "netlink/message_walk.h"

// The fixed part of an address message (ifaddrmsg): which family and which link.
// Only that an address came or went is read; the address itself never matters.
struct AddressMessage {
    uint8_t family = 0;
    int ifindex = 0;
};

// Returns false when the message is too short to hold its ifaddrmsg.
bool read_address_message(Bytes message, AddressMessage& address);
