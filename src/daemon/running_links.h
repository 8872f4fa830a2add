#pragma once

#include <vector>

#include "netlink/message_walk.h"

// The links known to run, by index: what the last refresh's link dump said, kept
// up to date by each link message since. A link message says what holds now, not
// what changed, so this is what tells a link that starts running from a running
// link whose MTU or address changed. Every running link is kept, however many a
// node has (a POP may terminate hundreds of tunnels): the memory grows with the
// links, never with the messages.
struct RunningLinks {
    std::vector<int> ifindexes;  // sorted
};

// Records that link `ifindex` runs. Returns true when it was not known to.
bool note_link_running(RunningLinks& links, int ifindex);

// Records that link `ifindex` does not run (or has gone).
void note_link_stopped(RunningLinks& links, int ifindex);

// Replaces the table with the indexes in `indexes` (ints, as the link dump gives
// them).
void replace_running_links(RunningLinks& links, Bytes indexes);
