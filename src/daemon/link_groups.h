#pragma once

#include <cstdint>
#include <vector>

#include "netlink/link_dump.h"
#include "netlink/message_walk.h"

// The links outside the default interface group, with their group: what the
// last refresh's link dump said, kept up to date by each link message since. A
// rule with suppress_ifgroup has the kernel pass over a table's result whose link
// is in that group, and a link's group changes with no word but the link's own
// message, which says what holds, not what changed. The memory grows with the
// grouped links only; most nodes have none.
struct LinkGroups {
    std::vector<GroupedLink> links;  // sorted by index
};

// Records that link `ifindex` is in group `group`. Returns true when that is news.
bool note_link_group(LinkGroups& groups, int ifindex, uint32_t group);

// Replaces the table with the links in `grouped` (GroupedLinks, as the link dump
// gives them).
void replace_link_groups(LinkGroups& groups, Bytes grouped);
