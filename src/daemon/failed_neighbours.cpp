#include "daemon/failed_neighbours.h"

#include <algorithm>

bool note_neighbour_failed(FailedNeighbours& failed, const NeighbourEntry& entry) {
    auto& known = failed.entries;
    const auto at = std::lower_bound(known.begin(), known.end(), entry);
    if (at != known.end() && *at == entry) return false;
    known.insert(at, entry);
    return true;
}

bool note_neighbour_recovered(FailedNeighbours& failed, const NeighbourEntry& entry) {
    auto& known = failed.entries;
    const auto at = std::lower_bound(known.begin(), known.end(), entry);
    if (at == known.end() || *at != entry) return false;
    known.erase(at);
    return true;
}
