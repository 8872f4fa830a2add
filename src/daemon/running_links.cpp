#include "daemon/running_links.h"

#include <algorithm>

namespace {

int* find(RunningLinks& links, int ifindex) {
    int* end = links.ifindex + links.count;
    int* found = std::find(links.ifindex, end, ifindex);
    return found == end ? nullptr : found;
}

}  // namespace

bool note_link_running(RunningLinks& links, int ifindex) {
    if (find(links, ifindex) != nullptr) return false;
    if (links.count < running_links_capacity) links.ifindex[links.count++] = ifindex;
    return true;
}

void note_link_stopped(RunningLinks& links, int ifindex) {
    int* found = find(links, ifindex);
    if (found != nullptr) *found = links.ifindex[--links.count];
}

void replace_running_links(RunningLinks& links, Bytes indexes) {
    links.count = 0;
    for (size_t at = 0; at + sizeof(int) <= indexes.size(); at += sizeof(int)) {
        note_link_running(links, read_at<int>(indexes, at));
    }
}
