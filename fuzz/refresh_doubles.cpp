// The dumps only a refresh makes, for the notifications target: no notification
// starts a refresh, so the fuzzer stops at any of them.
#include <cstdlib>
#include <vector>

#include "netlink/link_dump.h"
#include "netlink/neighbour_dump.h"
#include "netlink/route_dump.h"
#include "netlink/rule_dump.h"

int dump_default_routes(DumpedDefault& /*best*/) { std::abort(); }

bool dump_links(RouteLookup& /*lookup*/, int /*socket_fd*/, HeapBuffer& /*running*/, HeapBuffer& /*grouped*/) {
    std::abort();
}

bool dump_source_rules(RouteLookup& /*lookup*/, int /*socket_fd*/, int& /*finding_source*/) { std::abort(); }

bool dump_failed_neighbours(RouteLookup& /*lookup*/, int /*socket_fd*/, std::vector<NeighbourEntry>& /*failed*/) {
    std::abort();
}
