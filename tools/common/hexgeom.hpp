// Orientation checks of hexahedra with the centre Jacobian of the element
// pass (same matrix, same cofactor expansion), so that the tools judge an
// element exactly as the solver will.
#pragma once

#include <array>
#include <cmath>

#include "deck.hpp"

namespace toolgeom {

// Corner coordinates of element e (1-based) in the layout of `jacobian`.
inline void corners(const tooldeck::Deck& d, int e, double xyz[8][3]) {
    const tooldeck::Element& el = d.elements[static_cast<size_t>(e - 1)];
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) xyz[k][j] = d.nodes[static_cast<size_t>(el.node[k] - 1)][static_cast<size_t>(j)];
}

// Determinant of the Jacobian at the element centre. With one-point
// integration the shape-function derivatives of the two ends of a space
// diagonal (1-7, 2-8, 3-5, 4-6) are equal and opposite, so each row is a
// signed sum of the four diagonals.
inline double centre_determinant(const double xyz[8][3]) {
    double jac[3][3];
    for (int j = 0; j < 3; ++j) {
        const double x17 = xyz[6][j] - xyz[0][j];
        const double x28 = xyz[7][j] - xyz[1][j];
        const double x35 = xyz[4][j] - xyz[2][j];
        const double x46 = xyz[5][j] - xyz[3][j];
        jac[0][j] = (x17 - x28 - x35 + x46) * 0.125;
        jac[1][j] = (x17 + x28 - x35 - x46) * 0.125;
        jac[2][j] = (x17 + x28 + x35 + x46) * 0.125;
    }
    const double a11 = jac[0][0], a12 = jac[0][1], a13 = jac[0][2];
    const double a21 = jac[1][0], a22 = jac[1][1], a23 = jac[1][2];
    const double a31 = jac[2][0], a32 = jac[2][1], a33 = jac[2][2];
    return a11 * a22 * a33 + a12 * a23 * a31 + a13 * a21 * a32 - a13 * a22 * a31 - a12 * a21 * a33 -
           a11 * a23 * a32;
}

// Volume 8 det J at the centre, with the sign of det J: positive when the
// corners follow the solver's order (1-4 counter-clockwise seen from the
// side of 5-8), negative for a mirrored element, 0 for a degenerate one.
// The solver's element volume is its absolute value.
inline double signed_volume(const double xyz[8][3]) {
    const double det = centre_determinant(xyz);
    return std::isfinite(det) ? det * 8.0 : 0.0;
}

inline double signed_volume(const tooldeck::Deck& d, int e) {
    double xyz[8][3];
    corners(d, e, xyz);
    return signed_volume(xyz);
}

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
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

}  // namespace toolgeom
