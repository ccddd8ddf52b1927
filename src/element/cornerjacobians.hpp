// Signed volumes of the eight corner tetrahedra of a hexahedron, the check
// of an element's shape made at input by the solver and by the mesh tools.
// Depends on nothing but the standard library.
#pragma once

// At corner k the determinant of its three edges taken in the directions of
// increasing natural coordinates. All eight have the sign of the element's
// orientation in a proper element; one of the other sign marks a folded
// ("bow-tie") or re-entrant element whose centre volume may still look fine.
inline void cornerjacobians(const double xyz[8][3], double det[8]) {
    // Natural-coordinate signs of the corners and the neighbour across xi, eta, zeta.
    static constexpr int sign[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                       {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    static constexpr int across[8][3] = {{1, 3, 4}, {0, 2, 5}, {3, 1, 6}, {2, 0, 7},
                                         {5, 7, 0}, {4, 6, 1}, {7, 5, 2}, {6, 4, 3}};
    for (int k = 0; k < 8; ++k) {
        double e[3][3];
        for (int d = 0; d < 3; ++d) {
            const double* a = xyz[k];
            const double* b = xyz[across[k][d]];
            for (int j = 0; j < 3; ++j) e[d][j] = sign[k][d] > 0 ? a[j] - b[j] : b[j] - a[j];
        }
        det[k] = e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) -
                 e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0]) +
                 e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
    }
}
