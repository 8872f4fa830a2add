#pragma once

#include <cstddef>

#include "netlink/message_walk.h"

// The links known to run, by index: what the last refresh's link dump said, kept
// up to date by each link message since. A link message says what holds now, not
// what changed, so this is what tells a link that starts running from a running
// link whose MTU or address changed. A link is known to run only while the table
// has room for it; past that, every message about it counts as a start.
constexpr size_t running_links_capacity = 256;

struct RunningLinks {
    size_t count = 0;
    int ifindex[running_links_capacity] = {};
};

// Records that link `ifindex` runs. Returns true when it was not known to.
bool note_link_running(RunningLinks& links, int ifindex);

// Records that link `ifindex` does not run (or has gone).
void note_link_stopped(RunningLinks& links, int ifindex);

// Replaces the table with the indexes in `indexes` (ints, as the link dump gives
// them).
void replace_running_links(RunningLinks& links, Bytes indexes);
