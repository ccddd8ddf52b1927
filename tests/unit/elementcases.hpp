// Elements for the tests of the element kernels: the unit cube, affine
// images of it and a warped element, linear velocity fields, and quantities
// computed by other means than the kernels (finite differences of the
// trilinear map, a Gauss-Jordan inverse) to check them against.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "element/geometry.hpp"

namespace elementcases {

// Natural coordinates of the corners.
inline constexpr int nat[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                  {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
// Hourglass base vectors Gamma_m(a).
inline constexpr int gam[4][8] = {{1, -1, 1, -1, 1, -1, 1, -1},
                                  {1, 1, -1, -1, -1, -1, 1, 1},
                                  {1, -1, -1, 1, -1, 1, 1, -1},
                                  {1, -1, 1, -1, -1, 1, -1, 1}};
// Corner opposite to each of corners 1-4 along the space diagonal (0-based).
inline constexpr int opposite[4] = {6, 7, 4, 5};

struct Hex {
    double x[8][3];
};

inline Hex unitcube() {
    Hex h{};
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) h.x[k][j] = 0.5 * (nat[k][j] + 1);
    return h;
}

// x = F X + t applied to every corner.
inline Hex affine(const Hex& base, const double F[3][3], const double t[3]) {
    Hex h{};
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i)
            h.x[k][i] =
                F[i][0] * base.x[k][0] + F[i][1] * base.x[k][1] + F[i][2] * base.x[k][2] + t[i];
    return h;
}

// A non-parallelepiped element: the unit cube with every corner moved by a
// fixed, irregular offset (warped faces, no two faces parallel).
inline Hex distorted() {
    static const double d[8][3] = {{0.05, -0.02, 0.03}, {0.12, 0.04, -0.06}, {0.21, 0.15, 0.02},
                                   {-0.07, 0.09, 0.04}, {0.03, -0.11, 0.08}, {-0.04, 0.02, 0.17},
                                   {0.16, -0.05, 0.09}, {0.02, 0.13, -0.03}};
    Hex h = unitcube();
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) h.x[k][j] += d[k][j];
    return h;
}

// Corner velocities of the linear field v = L x + c.
inline void linearfield(const Hex& h, const double L[3][3], const double c[3], double v[8][3]) {
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i)
            v[k][i] = L[i][0] * h.x[k][0] + L[i][1] * h.x[k][1] + L[i][2] * h.x[k][2] + c[i];
}

// Trilinear map x(xi) of an element.
inline void trilinear(const Hex& h, const double xi[3], double out[3]) {
    out[0] = out[1] = out[2] = 0.0;
    for (int a = 0; a < 8; ++a) {
        const double n =
            (1 + xi[0] * nat[a][0]) * (1 + xi[1] * nat[a][1]) * (1 + xi[2] * nat[a][2]) / 8.0;
        for (int j = 0; j < 3; ++j) out[j] += n * h.x[a][j];
    }
}

// jac(i, j) = d x_j / d xi_i at the centre by central differences of the
// trilinear map (exact, since the map is linear in each natural coordinate).
inline void fdjacobian(const Hex& h, double jac[3][3]) {
    const double step = 0.5;
    for (int i = 0; i < 3; ++i) {
        double p[3] = {0, 0, 0}, m[3] = {0, 0, 0}, xp[3], xm[3];
        p[i] = step;
        m[i] = -step;
        trilinear(h, p, xp);
        trilinear(h, m, xm);
        for (int j = 0; j < 3; ++j) jac[i][j] = (xp[j] - xm[j]) / (2 * step);
    }
}

// Inverse by Gauss-Jordan elimination with partial pivoting.
inline void gjinverse(const double a[3][3], double inv[3][3]) {
    double m[3][6];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 6; ++j) m[i][j] = j < 3 ? a[i][j] : (j - 3 == i ? 1.0 : 0.0);
    for (int c = 0; c < 3; ++c) {
        int p = c;
        for (int r = c + 1; r < 3; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[p][c])) p = r;
        for (int j = 0; j < 6; ++j) std::swap(m[c][j], m[p][j]);
        const double d = m[c][c];
        for (int j = 0; j < 6; ++j) m[c][j] /= d;
        for (int r = 0; r < 3; ++r) {
            if (r == c) continue;
            const double f = m[r][c];
            for (int j = 0; j < 6; ++j) m[r][j] -= f * m[c][j];
        }
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) inv[i][j] = m[i][j + 3];
}

inline double det3(const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// Centre shape-function gradients of all 8 corners, grad[a][j] = dN_a/dx_j,
// from the finite-difference Jacobian.
inline void fdgradients(const Hex& h, double grad[8][3]) {
    double jac[3][3], inv[3][3];
    fdjacobian(h, jac);
    // jac(i, j) = dx_j/dxi_i, so its inverse has inv(j, k) = dxi_k/dx_j.
    gjinverse(jac, inv);
    for (int a = 0; a < 8; ++a)
        for (int j = 0; j < 3; ++j)
            grad[a][j] =
                (nat[a][0] * inv[j][0] + nat[a][1] * inv[j][1] + nat[a][2] * inv[j][2]) / 8.0;
}

// Expands the stored corners 1-4 of pkxj to all 8 corners.
inline void allgradients(const double pkxj[4][3], double grad[8][3]) {
    for (int a = 0; a < 4; ++a)
        for (int j = 0; j < 3; ++j) {
            grad[a][j] = pkxj[a][j];
            grad[opposite[a]][j] = -pkxj[a][j];
        }
}

inline double maxabs(const double f[8][3]) {
    double m = 0.0;
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) m = std::fmax(m, std::fabs(f[k][i]));
    return m;
}

inline void expect_sums_zero(const double f[8][3], double tol) {
    for (int i = 0; i < 3; ++i) {
        double s = 0.0;
        for (int k = 0; k < 8; ++k) s += f[k][i];
        EXPECT_NEAR(s, 0.0, tol) << "component " << i;
    }
}

// Geometry, strain and spin of one element in one call chain.
struct Kinematics {
    double vol, ijac[3][3], de[6], vort[3], pkxj[4][3];
};

inline Kinematics kinematics(const Hex& h, const double v[8][3], double dt) {
    Kinematics k{};
    jacobian(h.x, k.vol, k.ijac);
    strain(dt, v, k.ijac, k.de, k.vort, k.pkxj);
    return k;
}

}  // namespace elementcases
