#include "daemon/running_links.h"

#include <algorithm>

#include "daemon/sorted_set.h"

bool note_link_running(RunningLinks& links, int ifindex) { return insert_sorted(links.ifindexes, ifindex); }

void note_link_stopped(RunningLinks& links, int ifindex) { erase_sorted(links.ifindexes, ifindex); }

void replace_running_links(RunningLinks& links, Bytes indexes) {
    auto& known = links.ifindexes;
    known.clear();
    for (size_t at = 0; at + sizeof(int) <= indexes.size(); at += sizeof(int)) known.push_back(read_at<int>(indexes, at));
    std::sort(known.begin(), known.end());
    known.erase(std::unique(known.begin(), known.end()), known.end());
}
