#include "netlink/rule_message.h"

#include <linux/fib_rules.h>

bool read_rule_message(Bytes message, RuleMessage& rule) {
    rule = RuleMessage{};
    if (message.size() < netlink_header_size + sizeof(fib_rule_hdr)) return false;
    const auto header = read_at<fib_rule_hdr>(message, netlink_header_size);
    rule.family = header.family;
    rule.finds_source = (header.flags & FIB_RULE_FIND_SADDR) != 0 && header.src_len != 0;
    return true;
}
