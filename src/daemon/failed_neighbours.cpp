#include "daemon/failed_neighbours.h"

#include <algorithm>

#include "daemon/sorted_set.h"

bool note_neighbour_failed(FailedNeighbours& failed, const NeighbourEntry& entry) {
    return insert_sorted(failed.entries, entry);
}

bool note_neighbour_recovered(FailedNeighbours& failed, const NeighbourEntry& entry) {
    return erase_sorted(failed.entries, entry);
}

bool neighbour_known_failed(const FailedNeighbours& failed, const NeighbourEntry& entry) {
    return std::binary_search(failed.entries.begin(), failed.entries.end(), entry);
}
