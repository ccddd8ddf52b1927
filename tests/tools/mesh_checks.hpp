// Checks of generated and imported meshes shared by the mesh tests.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "formats/deck.hpp"
#include "mesh/orientation.hpp"

namespace meshchecks {

using formats::Deck;

// Determinant of the trilinear map's Jacobian at corner k (0..7): the
// triple product of the three edges leaving the corner towards its
// neighbours in increasing xi, eta, zeta. All eight positive means the
// element is not folded anywhere near a corner.
inline double corner_determinant(const double xyz[8][3], int k) {
    // neighbours along xi, eta, zeta of each corner, and the sign of each edge
    static const int nb[8][3] = {{1, 3, 4}, {0, 2, 5}, {3, 1, 6}, {2, 0, 7},
                                 {5, 7, 0}, {4, 6, 1}, {7, 5, 2}, {6, 4, 3}};
    static const double sg[8][3] = {{1, 1, 1},  {-1, 1, 1},  {-1, -1, 1},  {1, -1, 1},
                                    {1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}};
    double a[3][3];
    for (int d = 0; d < 3; ++d)
        for (int j = 0; j < 3; ++j) a[d][j] = sg[k][d] * (xyz[nb[k][d]][j] - xyz[k][j]);
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// Sum of the element volumes; fails the test on any element that is not
// positively oriented at its centre or folded at a corner.
inline double checked_volume(const Deck& d, const std::string& what) {
    double total = 0.0;
    for (int e = 1; e <= d.nelements(); ++e) {
        double xyz[8][3];
        mesh::corners(d, e, xyz);
        const double v = mesh::signed_volume(xyz);
        EXPECT_GT(v, 0.0) << what << ": element " << e;
        for (int k = 0; k < 8; ++k)
            EXPECT_GT(corner_determinant(xyz, k), 0.0)
                << what << ": element " << e << " corner " << k + 1;
        total += v;
    }
    return total;
}

inline std::set<int> as_set(const std::vector<int>& v) { return {v.begin(), v.end()}; }

// Every node used by some element, and every node number in range.
inline void check_connectivity(const Deck& d, const std::string& what) {
    std::vector<int> used(static_cast<size_t>(d.nnodes()), 0);
    for (const auto& el : d.elements) {
        std::set<int> distinct(el.node.begin(), el.node.end());
        EXPECT_EQ(distinct.size(), 8u) << what;
        for (int n : el.node) {
            ASSERT_GE(n, 1) << what;
            ASSERT_LE(n, d.nnodes()) << what;
            used[static_cast<size_t>(n - 1)] = 1;
        }
    }
    for (int n = 0; n < d.nnodes(); ++n)
        EXPECT_TRUE(used[static_cast<size_t>(n)]) << what << ": node " << n + 1 << " unused";
}

}  // namespace meshchecks
