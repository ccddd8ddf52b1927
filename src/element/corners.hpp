// Moving data between the node arrays and the eight corners of one element.
//
// The element pass gathers each element's corner coordinates and velocities
// into fixed-size local arrays, runs its kernels on them, and scatters the
// corner forces back into the nodal forces. Node arrays hold x, y, z of one
// node next to each other (node k, 1-based, at 3*(k-1)); corner arrays are
// xyz[k][j] (corner k, component j). This header depends on nothing but the
// standard library, so programs outside the solver can gather the same way.
#pragma once

#include <cstddef>

// Corner coordinates of one element: xyz[k] = position of node node[k].
inline void gather_corners(const int node[8], const double* pos, double xyz[8][3]) {
    for (int k = 0; k < 8; ++k) {
        const size_t n = 3 * static_cast<size_t>(node[k] - 1);
        xyz[k][0] = pos[n];
        xyz[k][1] = pos[n + 1];
        xyz[k][2] = pos[n + 2];
    }
}

// Corner coordinates and velocities of one element.
inline void gather_corners(const int node[8], const double* pos, const double* vel,
                           double xyz[8][3], double v[8][3]) {
    for (int k = 0; k < 8; ++k) {
        const size_t n = 3 * static_cast<size_t>(node[k] - 1);
        xyz[k][0] = pos[n];
        xyz[k][1] = pos[n + 1];
        xyz[k][2] = pos[n + 2];
        v[k][0] = vel[n];
        v[k][1] = vel[n + 1];
        v[k][2] = vel[n + 2];
    }
}

// Adds the corner forces f (corner-major, f[k][i]) to acc at the element's
// nodes, corner by corner, x, y, z.
inline void scatter_add(const int node[8], const double f[8][3], double* acc) {
    for (int k = 0; k < 8; ++k) {
        double* a = acc + 3 * static_cast<std::ptrdiff_t>(node[k] - 1);
        a[0] += f[k][0];
        a[1] += f[k][1];
        a[2] += f[k][2];
    }
}

// Adds corner forces given component-major (ft[i][k]) at the element's
// nodes, in the same order as scatter_add: corner by corner, x, y, z.
inline void scatter_add_t(const int node[8], const double ft[3][8], double* acc) {
    for (int k = 0; k < 8; ++k) {
        double* a = acc + 3 * static_cast<std::ptrdiff_t>(node[k] - 1);
        a[0] += ft[0][k];
        a[1] += ft[1][k];
        a[2] += ft[2][k];
    }
}
