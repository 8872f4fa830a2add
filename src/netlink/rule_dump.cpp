#include "netlink/rule_dump.h"

#include <linux/fib_rules.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstdio>

#include "netlink/kernel_dump.h"
#include "netlink/rule_message.h"

namespace {

struct RuleDumpRequest {
    nlmsghdr header;
    fib_rule_hdr rule;
};
static_assert(sizeof(RuleDumpRequest) == 28);

}  // namespace

bool dump_source_rules(RouteLookup& lookup, int socket_fd, int& finding_source) {
    RuleDumpRequest request{};
    request.rule.family = AF_INET6;
    finding_source = 0;
    KernelDump dump;
    if (!start_kernel_dump(dump, lookup, socket_fd, request, RTM_GETRULE, RTM_NEWRULE, "rules")) return false;
    NetlinkMessage message;
    RuleMessage rule;
    while (next_dumped_message(dump, message)) {
        if (read_rule_message(message.bytes, rule) && rule.family == AF_INET6 && rule.finds_source) ++finding_source;
    }
    if (dump.ended == DumpStep::refused) std::fputs("The kernel refused to list its rules\n", stderr);
    return dump.ended == DumpStep::done;
}
