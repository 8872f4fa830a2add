#pragma once

#include <algorithm>
#include <vector>

// A set kept as a sorted vector: what the daemon remembers of links and
// neighbours grows with what it holds, looked up by binary search.

// Adds `value`. Returns true when it was not there yet.
template <class T>
bool insert_sorted(std::vector<T>& set, const T& value) {
    const auto at = std::lower_bound(set.begin(), set.end(), value);
    if (at != set.end() && *at == value) return false;
    set.insert(at, value);
    return true;
}

// Removes `value`. Returns true when it was there.
template <class T>
bool erase_sorted(std::vector<T>& set, const T& value) {
    const auto at = std::lower_bound(set.begin(), set.end(), value);
    if (at == set.end() || *at != value) return false;
    set.erase(at);
    return true;
}
