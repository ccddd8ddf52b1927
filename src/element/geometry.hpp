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
    for (int j = 0; j < 3; ++j) {
        const double x17 = xyz[6][j] - xyz[0][j];
        const double x28 = xyz[7][j] - xyz[1][j];
        const double x35 = xyz[4][j] - xyz[2][j];
        const double x46 = xyz[5][j] - xyz[3][j];
        jac[0][j] = (x17 - x28 - x35 + x46) * 0.125;
        jac[1][j] = (x17 + x28 - x35 - x46) * 0.125;
        jac[2][j] = (x17 + x28 + x35 + x46) * 0.125;
    }
    double det;
    innve(jac, ijac, det);
    vol = std::fabs(det) * 8.0;
}

// Shape-function derivatives, strain increment (engineering shear) and spin
// increment of the step dt from the corner velocities.
inline void strain(double dt, const double v[8][3], const double ijac[3][3], double de[6],
                   double vort[3], double pkxj[4][3]) {
    for (int j = 0; j < 3; ++j) {
        const double g1 = ijac[j][0], g2 = ijac[j][1], g3 = ijac[j][2];
        pkxj[0][j] = (-g1 - g2 - g3) * 0.125;
        pkxj[1][j] = (g1 - g2 - g3) * 0.125;
        pkxj[2][j] = (g1 + g2 - g3) * 0.125;
        pkxj[3][j] = (g2 - g1 - g3) * 0.125;
    }
    double v17[3], v28[3], v35[3], v46[3];
    for (int i = 0; i < 3; ++i) {
        v17[i] = v[0][i] - v[6][i];
        v28[i] = v[1][i] - v[7][i];
        v35[i] = v[2][i] - v[4][i];
        v46[i] = v[3][i] - v[5][i];
    }
    double dij[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            dij[i][j] = pkxj[0][j] * v17[i] + pkxj[1][j] * v28[i] + pkxj[2][j] * v35[i] +
                        pkxj[3][j] * v46[i];
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
