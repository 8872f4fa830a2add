#pragma once

#include "netlink/route_lookup.h"

// Asks the kernel, over `socket_fd` (the route lookup's), for its IPv6 policy
// rules, and counts into `finding_source` those that weigh the source address a
// lookup would take (RuleMessage::finds_source). Returns false, after its stderr
// line, when the dump could not be had; the count then does not count.
bool dump_source_rules(RouteLookup& lookup, int socket_fd, int& finding_source);
