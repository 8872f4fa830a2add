#include "daemon/link_groups.h"

#include <algorithm>

namespace {

bool before(const GroupedLink& link, int ifindex) { return link.ifindex < ifindex; }

}  // namespace

bool note_link_group(LinkGroups& groups, int ifindex, uint32_t group) {
    auto& links = groups.links;
    const auto at = std::lower_bound(links.begin(), links.end(), ifindex, before);
    const bool known = at != links.end() && at->ifindex == ifindex;
    const uint32_t was = known ? at->group : 0;
    if (was == group) return false;
    if (group == 0) {
        links.erase(at);
    } else if (known) {
        at->group = group;
    } else {
        links.insert(at, GroupedLink{ifindex, group});
    }
    return true;
}

void replace_link_groups(LinkGroups& groups, Bytes grouped) {
    groups.links.clear();
    for (size_t at = 0; at + sizeof(GroupedLink) <= grouped.size(); at += sizeof(GroupedLink)) {
        groups.links.push_back(read_at<GroupedLink>(grouped, at));
    }
    std::sort(groups.links.begin(), groups.links.end(),
              [](const GroupedLink& a, const GroupedLink& b) { return a.ifindex < b.ifindex; });
}
