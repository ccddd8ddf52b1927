// Centre geometry of the 8-node hexahedron under one-point integration.
//
// Corner order: 1-4 one face, 5-8 the opposite face, corner k+4 opposite k;
// natural coordinates (-1,-1,-1) (1,-1,-1) (1,1,-1) (-1,1,-1) and the same
// with zeta = +1. At the centre the shape-function derivatives of the two
// ends of a space diagonal (1-7, 2-8, 3-5, 4-6) are equal and opposite, so
// only corners 1-4 are formed and everything runs over the four diagonals.
//
// Array layout (C order, so the x,y,z of one corner are contiguous):
//   xyz[k][j], v[k][j]  component j of corner k
//   ijac[j][k]          d xi_k / d x_j
//   pkxj[a][j]          d N_a / d x_j for corners a = 1..4 (index 0..3)
#pragma once

#include <cmath>

#include "element/lanes.hpp"

// Inverse and determinant of a 3x3 matrix by cofactors; each entry of the
// inverse is divided by the determinant (no reciprocal).
inline void innve(const double a[3][3], double ainv[3][3], double& det) {
    const double a11 = a[0][0], a12 = a[0][1], a13 = a[0][2];
    const double a21 = a[1][0], a22 = a[1][1], a23 = a[1][2];
    const double a31 = a[2][0], a32 = a[2][1], a33 = a[2][2];
    det = a11 * a22 * a33 + a12 * a23 * a31 + a13 * a21 * a32 - a13 * a22 * a31 - a12 * a21 * a33 -
          a11 * a23 * a32;
    ainv[0][0] = (a22 * a33 - a23 * a32) / det;
    ainv[1][0] = (a23 * a31 - a21 * a33) / det;
    ainv[2][0] = (a21 * a32 - a22 * a31) / det;
    ainv[0][1] = (a13 * a32 - a12 * a33) / det;
    ainv[1][1] = (a11 * a33 - a13 * a31) / det;
    ainv[2][1] = (a12 * a31 - a11 * a32) / det;
    ainv[0][2] = (a12 * a23 - a13 * a22) / det;
    ainv[1][2] = (a13 * a21 - a11 * a23) / det;
    ainv[2][2] = (a11 * a22 - a12 * a21) / det;
}

// Volume (8 |det J|) and signed inverse Jacobian at the element centre.
inline void jacobian(const double xyz[8][3], double& vol, double ijac[3][3]) {
    double jac[3][3];
    {
        // x and y columns side by side.
        const lanes::pair x17 = lanes::load(xyz[6]) - lanes::load(xyz[0]);
        const lanes::pair x28 = lanes::load(xyz[7]) - lanes::load(xyz[1]);
        const lanes::pair x35 = lanes::load(xyz[4]) - lanes::load(xyz[2]);
        const lanes::pair x46 = lanes::load(xyz[5]) - lanes::load(xyz[3]);
        const lanes::pair eighth = lanes::splat(0.125);
        lanes::store(jac[0], (x17 - x28 - x35 + x46) * eighth);
        lanes::store(jac[1], (x17 + x28 - x35 - x46) * eighth);
        lanes::store(jac[2], (x17 + x28 + x35 + x46) * eighth);
    }
    {
        const double x17 = xyz[6][2] - xyz[0][2];
        const double x28 = xyz[7][2] - xyz[1][2];
        const double x35 = xyz[4][2] - xyz[2][2];
        const double x46 = xyz[5][2] - xyz[3][2];
        jac[0][2] = (x17 - x28 - x35 + x46) * 0.125;
        jac[1][2] = (x17 + x28 - x35 - x46) * 0.125;
        jac[2][2] = (x17 + x28 + x35 + x46) * 0.125;
    }
    double det;
    innve(jac, ijac, det);
    vol = std::fabs(det) * 8.0;
}

// Shape-function derivatives, strain increment (engineering shear) and spin
// increment of the step dt from the corner velocities.
inline void strain(double dt, const double v[8][3], const double ijac[3][3], double de[6],
                   double vort[3], double pkxj[4][3]) {
    using lanes::pair;
    using lanes::splat;
    {
        // x and y derivatives side by side.
        const pair g1 = pair{ijac[0][0], ijac[1][0]};
        const pair g2 = pair{ijac[0][1], ijac[1][1]};
        const pair g3 = pair{ijac[0][2], ijac[1][2]};
        const pair eighth = splat(0.125);
        lanes::store(pkxj[0], (-g1 - g2 - g3) * eighth);
        lanes::store(pkxj[1], (g1 - g2 - g3) * eighth);
        lanes::store(pkxj[2], (g1 + g2 - g3) * eighth);
        lanes::store(pkxj[3], (g2 - g1 - g3) * eighth);
    }
    {
        const double g1 = ijac[2][0], g2 = ijac[2][1], g3 = ijac[2][2];
        pkxj[0][2] = (-g1 - g2 - g3) * 0.125;
        pkxj[1][2] = (g1 - g2 - g3) * 0.125;
        pkxj[2][2] = (g1 + g2 - g3) * 0.125;
        pkxj[3][2] = (g2 - g1 - g3) * 0.125;
    }
    // Velocity differences along the diagonals, x and y side by side.
    const pair v17 = lanes::load(v[0]) - lanes::load(v[6]);
    const pair v28 = lanes::load(v[1]) - lanes::load(v[7]);
    const pair v35 = lanes::load(v[2]) - lanes::load(v[4]);
    const pair v46 = lanes::load(v[3]) - lanes::load(v[5]);
    const double v17z = v[0][2] - v[6][2];
    const double v28z = v[1][2] - v[7][2];
    const double v35z = v[2][2] - v[4][2];
    const double v46z = v[3][2] - v[5][2];
    // Velocity gradient dij = d v_i / d x_j, columns x and y side by side.
    const pair p0 = lanes::load(pkxj[0]), p1 = lanes::load(pkxj[1]);
    const pair p2 = lanes::load(pkxj[2]), p3 = lanes::load(pkxj[3]);
    const double p0z = pkxj[0][2], p1z = pkxj[1][2], p2z = pkxj[2][2], p3z = pkxj[3][2];
    double dij[3][3];
    for (int i = 0; i < 2; ++i) {
        const pair d =
            p0 * splat(v17[i]) + p1 * splat(v28[i]) + p2 * splat(v35[i]) + p3 * splat(v46[i]);
        dij[i][0] = d[0];
        dij[i][1] = d[1];
        dij[i][2] = p0z * v17[i] + p1z * v28[i] + p2z * v35[i] + p3z * v46[i];
    }
    {
        const pair d = p0 * splat(v17z) + p1 * splat(v28z) + p2 * splat(v35z) + p3 * splat(v46z);
        dij[2][0] = d[0];
        dij[2][1] = d[1];
        dij[2][2] = p0z * v17z + p1z * v28z + p2z * v35z + p3z * v46z;
    }
    de[0] = dij[0][0] * dt;
    de[1] = dij[1][1] * dt;
    de[2] = dij[2][2] * dt;
    de[3] = (dij[1][2] + dij[2][1]) * dt;
    de[4] = (dij[0][2] + dij[2][0]) * dt;
    de[5] = (dij[0][1] + dij[1][0]) * dt;
    vort[0] = (dij[1][2] - dij[2][1]) * 0.5 * dt;
    vort[1] = (dij[0][2] - dij[2][0]) * 0.5 * dt;
    vort[2] = (dij[0][1] - dij[1][0]) * 0.5 * dt;
}

// Strain increment and spin of the step dt from the gradient of the mid-step
// geometry x(n-1/2) = x(n) - dt/2 v(n-1/2) (xyz = x(n), v = v(n-1/2)).
//
// The gradient of x(n) lets a rigid rotation strain the element: for a body
// turned from R(n-1) X to R(n) X the velocity gradient on x(n) is
// (I - R(n-1) R(n)^T) / dt, whose symmetric part is a stretch of order
// dt omega^2 across the axis. On x(n-1/2) the same velocities give
// 2 (R(n) - R(n-1)) (R(n) + R(n-1))^-1 / dt, which is skew for any two
// rotations (a Cayley transform), so the strain increment of a discrete
// rigid rotation is zero. The centre gradient reproduces a linear field
// exactly on any hexahedron, so this holds for distorted elements too. The
// nodal forces still take the gradient of x(n): with a symmetric stress they
// then carry no net moment about any point of x(n), and central differences
// keep the angular momentum sum m x(n) x v(n+1/2).
inline void midstepstrain(double dt, const double xyz[8][3], const double v[8][3], double de[6],
                          double vort[3]) {
    const double h = 0.5 * dt;
    double xm[8][3];
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) xm[k][j] = xyz[k][j] - h * v[k][j];
    double volm, ijacm[3][3], pkxjm[4][3];
    jacobian(xm, volm, ijacm);
    strain(dt, v, ijacm, de, vort, pkxjm);
}
