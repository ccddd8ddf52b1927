// Pairs of doubles computed side by side in one 128-bit register.
//
// The element routines have many small sums that are independent of each
// other (the four hourglass modes, the eight corners, the x and y components
// of a vector). Each lane of a pair performs exactly the IEEE operation that
// is written, with no reassociation and no contraction, so a sum evaluated on
// pairs gives the same bits as the same sum evaluated one value at a time.
#pragma once

#include <cstring>

namespace lanes {

typedef double pair __attribute__((vector_size(16)));

inline pair splat(double x) { return pair{x, x}; }
inline pair load(const double* p) {
    pair r;
    std::memcpy(&r, p, sizeof r);
    return r;
}
inline void store(double* p, pair x) { std::memcpy(p, &x, sizeof x); }
// First lanes of a and b, second lanes of a and b.
inline pair lo(pair a, pair b) { return pair{a[0], b[0]}; }
inline pair hi(pair a, pair b) { return pair{a[1], b[1]}; }

}  // namespace lanes
