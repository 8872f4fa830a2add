#include "daemon/running_links.h"

#include <algorithm>

bool note_link_running(RunningLinks& links, int ifindex) {
    auto& known = links.ifindexes;
    const auto at = std::lower_bound(known.begin(), known.end(), ifindex);
    if (at != known.end() && *at == ifindex) return false;
    known.insert(at, ifindex);
    return true;
}

void note_link_stopped(RunningLinks& links, int ifindex) {
    auto& known = links.ifindexes;
    const auto at = std::lower_bound(known.begin(), known.end(), ifindex);
    if (at != known.end() && *at == ifindex) known.erase(at);
}

void replace_running_links(RunningLinks& links, Bytes indexes) {
    auto& known = links.ifindexes;
    known.clear();
    for (size_t at = 0; at + sizeof(int) <= indexes.size(); at += sizeof(int)) known.push_back(read_at<int>(indexes, at));
    std::sort(known.begin(), known.end());
    known.erase(std::unique(known.begin(), known.end()), known.end());
}
