// Fixed-width counter arithmetic: a step that would overflow is skipped, and ageing rounds
// halves to even, so counters keep the widths their stored values rely on.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace quenda {

// Adds delta to counter unless the sum leaves the counter's range; then the counter is unchanged.
template <typename Int>
void AddIfFits(Int& counter, int64_t delta) {
    const int64_t sum = static_cast<int64_t>(counter) + delta;
    if (sum < std::numeric_limits<Int>::min() || sum > std::numeric_limits<Int>::max()) return;
    counter = static_cast<Int>(sum);
}

// value × 0.9 rounded to a whole number, halves to the even neighbour.
template <typename Int>
Int AgedByTenth(Int value) {
    return static_cast<Int>(std::nearbyint(static_cast<double>(value) * 0.9));
}

// Magnitude of a residue as a wide integer, so the most negative value has one too.
inline int64_t Magnitude(int64_t value) {
    return value < 0 ? -value : value;
}

}  // namespace quenda
