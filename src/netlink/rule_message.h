#pragma once

#include <cstdint>

#include "netlink/message_walk.h"

// A policy rule (fib_rule_hdr), as far as the daemon weighs it.
struct RuleMessage {
    uint8_t family = 0;
    // FIB_RULE_FIND_SADDR with a source prefix: for a lookup that names no source
    // (the daemon's own), the kernel matches the rule against the source address
    // the table's result would be sent from, so an address added may change it.
    bool finds_source = false;
};

// Returns false when the message is too short to hold its fib_rule_hdr.
bool read_rule_message(Bytes message, RuleMessage& rule);
