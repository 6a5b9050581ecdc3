#pragma once
// Markers: the moments a user marked, as block positions (from 1) in a
// recording's timeline, ascending, each block at most once.
#include <algorithm>
#include <cstdint>
#include <vector>

namespace orv {

using MarkerList = std::vector<uint32_t>;

// Adds block p, keeping the list ascending and without repeats.
inline void AddMarker(MarkerList& markers, uint32_t p) {
    auto it = std::lower_bound(markers.begin(), markers.end(), p);
    if (it == markers.end() || *it != p) markers.insert(it, p);
}

}  // namespace orv
