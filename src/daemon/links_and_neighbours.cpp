#include "daemon/links_and_neighbours.h"

#include <vector>

#include "netlink/heap_buffer.h"
#include "netlink/link_dump.h"
#include "netlink/neighbour_dump.h"
#include "netlink/rule_dump.h"

void learn_links_and_neighbours(UplinkState& state, int socket_fd) {
    if (socket_fd < 0) return;
    HeapBuffer running;
    HeapBuffer grouped;
    if (dump_links(state.route_lookup, socket_fd, running, grouped)) {
        replace_running_links(state.running_links, running.view());
        replace_link_groups(state.link_groups, grouped.view());
    }
    std::vector<NeighbourEntry> failed;
    if (dump_failed_neighbours(state.route_lookup, socket_fd, failed)) state.failed_neighbours.entries.swap(failed);
    int source_rules = 0;
    if (dump_source_rules(state.route_lookup, socket_fd, source_rules)) state.source_rules = source_rules;
}
