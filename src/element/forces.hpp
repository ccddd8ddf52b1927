// Corner forces of one element: internal forces of the centre stress and
// hourglass forces, from gathered element arrays (element/corners.hpp). The
// internal-force kernel fills f[8][3] (corner, component), added into the
// nodal forces by `scatter_add`; the hourglass kernels fill ft[3][8]
// (component, corner), added by `scatter_add_t` in the same order.
#pragma once

#include <cmath>
#include <cstddef>

#include "element/corners.hpp"
#include "element/lanes.hpp"
#include "model/model.hpp"

// f_a = -V sigma grad N_a; corners 5-8 are the negatives of their opposites.
inline void nodalforce_kernel(const double pkxj[4][3], double sm, const double sd[6], double vol,
                              double f[8][3]) {
    const double sig1 = (sd[0] + sm) * vol;
    const double sig2 = (sd[1] + sm) * vol;
    const double sig3 = (sd[2] + sm) * vol;
    const double sig4 = sd[3] * vol;
    const double sig5 = sd[4] * vol;
    const double sig6 = sd[5] * vol;
    for (int a = 0; a < 4; ++a) {
        const double b1 = pkxj[a][0], b2 = pkxj[a][1], b3 = pkxj[a][2];
        f[a][0] = -(b1 * sig1 + b2 * sig6 + b3 * sig5);
        f[a][1] = -(b1 * sig6 + b2 * sig2 + b3 * sig4);
        f[a][2] = -(b1 * sig5 + b2 * sig4 + b3 * sig3);
    }
    for (int i = 0; i < 3; ++i) {
        f[6][i] = -f[0][i];
        f[7][i] = -f[1][i];
        f[4][i] = -f[2][i];
        f[5][i] = -f[3][i];
    }
}

namespace hourglassdata {
// Exponent of the volume factor: 2/3 in single precision.
inline const double vexp = static_cast<double>(2.0f / 3.0f);
// h(a, m) = Gamma_m(a) for corners 1-4.
inline constexpr int h[4][4] = {{1, 1, 1, 1}, {-1, 1, -1, -1}, {1, -1, -1, 1}, {-1, -1, 1, -1}};
// s(m, a) = Gamma_m(a) + Gamma_m(opposite a) for corners 5-8.
inline constexpr int s[4][4] = {{2, -2, 2, -2}, {-2, -2, 2, 2}, {-2, 2, 2, -2}, {0, 0, 0, 0}};
// The same tables as reals, arranged by corner: hc[a][m] = h(a, m) and
// sc[a][m] = s(m, a).
inline constexpr double hc[4][4] = {{1, 1, 1, 1}, {-1, 1, -1, -1}, {1, -1, -1, 1}, {-1, -1, 1, -1}};
inline constexpr double sc[4][4] = {{2, -2, -2, 0}, {-2, -2, 2, 0}, {2, 2, 2, 0}, {-2, 2, -2, 0}};
// Threshold of the hourglass coefficient (1.0e-6 in single precision).
inline const double coefmin = static_cast<double>(1.0e-6f);
}  // namespace hourglassdata

// Standard method: projections of the corner velocities on the four base
// vectors with a linear plus quadratic viscosity. ft[i][a] is component i of
// the force at corner a.
inline void hgforcestandard_t(const double v[8][3], double rho, double c, double q, double vpow,
                              double ft[3][8]) {
    const double kk = rho * q * 0.25 * vpow;
    const double a = c * kk;
    const double b = q * 100.0 * kk;
    for (int i = 0; i < 3; ++i) {
        const double v1467 = v[0][i] - v[3][i] - v[5][i] + v[6][i];
        const double v2358 = v[1][i] - v[2][i] - v[4][i] + v[7][i];
        const double v1256 = v[0][i] - v[1][i] - v[4][i] + v[5][i];
        const double v3478 = v[2][i] - v[3][i] - v[6][i] + v[7][i];
        double hgr[4] = {v1467 - v2358, v1467 + v2358, v1256 - v3478, v1256 + v3478};
        for (int m = 0; m < 4; ++m) hgr[m] = (a + std::fabs(b * hgr[m])) * hgr[m];
        const double hap = hgr[0] + hgr[3];
        const double ham = hgr[0] - hgr[3];
        const double hbp = hgr[1] + hgr[2];
        const double hbm = hgr[1] - hgr[2];
        ft[i][0] = -hap - hbp;
        ft[i][1] = hap - hbm;
        ft[i][2] = hbp - hap;
        ft[i][3] = hap + hbm;
        ft[i][4] = hbp - ham;
        ft[i][5] = ham + hbm;
        ft[i][6] = -ham - hbp;
        ft[i][7] = ham - hbm;
    }
}

// Projections of the corner coordinates on the four hourglass base vectors:
// beta[j][m] = sum over corners of h_m(a) x_j(a).
inline void hourglassbeta(const double xyz[8][3], double beta[3][4]) {
    for (int j = 0; j < 3; ++j) {
        const double x1467 = xyz[0][j] - xyz[3][j] - xyz[5][j] + xyz[6][j];
        const double x2358 = xyz[1][j] - xyz[2][j] - xyz[4][j] + xyz[7][j];
        const double x1256 = xyz[0][j] - xyz[1][j] - xyz[4][j] + xyz[5][j];
        const double x3478 = xyz[2][j] - xyz[3][j] - xyz[6][j] + xyz[7][j];
        beta[j][0] = x1467 - x2358;
        beta[j][1] = x1467 + x2358;
        beta[j][2] = x1256 - x3478;
        beta[j][3] = x1256 + x3478;
    }
}

// Flanagan-Belytschko method: base vectors made orthogonal to the linear
// velocity fields of the current geometry; linear viscosity only.
// Component-major: ft[i][a] is component i of the force at corner a. The
// four hourglass modes are carried as two pairs (modes 1-2, 3-4) while the
// mode vectors and the velocity projections are formed, and the eight
// corners as four pairs while the forces are formed; every entry is the same
// sum, in the same order, as it would be one at a time.
inline void hgforceflangan_t(const double v[8][3], const double xyz[8][3], const double pkxj[4][3],
                             double rho, double c, double q, double vpow, double ft[3][8]) {
    using lanes::pair;
    using lanes::splat;
    const double k = q * c * rho * vpow * (-0.25);
    double beta[3][4];
    hourglassbeta(xyz, beta);
    pair b[3][2];
    for (int j = 0; j < 3; ++j) {
        b[j][0] = lanes::load(&beta[j][0]);
        b[j][1] = lanes::load(&beta[j][2]);
    }
    // Mode vectors by corner: gc[a][h] = (gamma_2h(a), gamma_2h+1(a)).
    pair gc[8][2];
    for (int a = 0; a < 4; ++a) {
        const pair p0 = splat(pkxj[a][0]), p1 = splat(pkxj[a][1]), p2 = splat(pkxj[a][2]);
        for (std::ptrdiff_t h = 0; h < 2; ++h)
            gc[a][h] = lanes::load(&hourglassdata::hc[a][2 * h]) - p0 * b[0][h] - p1 * b[1][h] -
                       p2 * b[2][h];
    }
    for (std::ptrdiff_t h = 0; h < 2; ++h) {
        gc[4][h] = lanes::load(&hourglassdata::sc[0][2 * h]) - gc[2][h];
        gc[5][h] = lanes::load(&hourglassdata::sc[1][2 * h]) - gc[3][h];
        gc[6][h] = lanes::load(&hourglassdata::sc[2][2 * h]) - gc[0][h];
        gc[7][h] = lanes::load(&hourglassdata::sc[3][2 * h]) - gc[1][h];
    }
    // Projections of the velocities on the mode vectors, corner 1 to 8:
    // g[i][h] = (g_i,2h, g_i,2h+1).
    pair g[3][2];
    for (int i = 0; i < 3; ++i) {
        pair s0 = splat(0.0), s1 = splat(0.0);
        for (int a = 0; a < 8; ++a) {
            const pair va = splat(v[a][i]);
            s0 = s0 + gc[a][0] * va;
            s1 = s1 + gc[a][1] * va;
        }
        g[i][0] = s0;
        g[i][1] = s1;
    }
    // Mode vectors by mode, corners side by side: gm[m][p] = (gamma_m(2p), gamma_m(2p+1)).
    pair gm[4][4];
    for (std::ptrdiff_t p = 0; p < 4; ++p) {
        gm[0][p] = lanes::lo(gc[2 * p][0], gc[2 * p + 1][0]);
        gm[1][p] = lanes::hi(gc[2 * p][0], gc[2 * p + 1][0]);
        gm[2][p] = lanes::lo(gc[2 * p][1], gc[2 * p + 1][1]);
        gm[3][p] = lanes::hi(gc[2 * p][1], gc[2 * p + 1][1]);
    }
    const pair kk = splat(k);
    for (int i = 0; i < 3; ++i) {
        const pair g0 = splat(g[i][0][0]), g1 = splat(g[i][0][1]);
        const pair g2 = splat(g[i][1][0]), g3 = splat(g[i][1][1]);
        for (std::ptrdiff_t p = 0; p < 4; ++p)
            lanes::store(&ft[i][2 * p],
                         kk * (gm[0][p] * g0 + gm[1][p] * g1 + gm[2][p] * g2 + gm[3][p] * g3));
    }
}

// Flanagan-Belytschko damping acts on the corner velocities through the
// four mode vectors gamma_m of hgforceflangan_t, so its fastest rate grows
// with the largest eigenvalue of their Gram matrix G_mn = gamma_m . gamma_n,
// bounded here by the largest sum of |G_mn| along a row. The mode vectors of
// a parallelepiped are the base vectors themselves (G = 8 I); those of a
// strongly distorted element (a flattened corner, a sliver) are far longer,
// and a step bound that took 8 lets such an element's hourglass damping run
// away.
inline double flanagangram(const double xyz[8][3], const double pkxj[4][3]) {
    double beta[3][4];
    hourglassbeta(xyz, beta);
    double gc[8][4];
    for (int a = 0; a < 4; ++a)
        for (int m = 0; m < 4; ++m)
            gc[a][m] = hourglassdata::hc[a][m] - pkxj[a][0] * beta[0][m] - pkxj[a][1] * beta[1][m] -
                       pkxj[a][2] * beta[2][m];
    for (int m = 0; m < 4; ++m) {
        gc[4][m] = hourglassdata::sc[0][m] - gc[2][m];
        gc[5][m] = hourglassdata::sc[1][m] - gc[3][m];
        gc[6][m] = hourglassdata::sc[2][m] - gc[0][m];
        gc[7][m] = hourglassdata::sc[3][m] - gc[1][m];
    }
    double worst = 0.0;
    for (int m = 0; m < 4; ++m) {
        double row = 0.0;
        for (int n = 0; n < 4; ++n) {
            double dot = 0.0;
            for (int a = 0; a < 8; ++a) dot = dot + gc[a][m] * gc[a][n];
            row = row + std::fabs(dot);
        }
        if (row > worst) worst = row;
    }
    return worst;
}

// Which hourglass method acts: 0 none (method 0 or a coefficient not above
// the threshold), 1 standard, 2 Flanagan-Belytschko, -1 an unknown method.
inline int hourglassmode() {
    using materialdata::hourglass;
    if (hourglass.method == 0 || !(hourglass.coef > hourglassdata::coefmin)) return 0;
    if (hourglass.method == 1 || hourglass.method == 2) return hourglass.method;
    return -1;
}

// Hourglass forces of one element, component-major (ft[i][a]), for an
// active method (`mode` 1 standard or 2 Flanagan-Belytschko, as returned by
// hourglassmode()): the volume factor V^(2/3), then the method's kernel with
// the coefficient q. hourglassforcepow takes the volume factor vpow already
// formed (the element pass forms it once for the stable step and the forces).
inline void hourglassforcepow(int mode, const double v[8][3], const double xyz[8][3],
                              const double pkxj[4][3], double vpow, double rho, double c, double q,
                              double ft[3][8]) {
    if (mode == 1)
        hgforcestandard_t(v, rho, c, q, vpow, ft);
    else
        hgforceflangan_t(v, xyz, pkxj, rho, c, q, vpow, ft);
}

inline void hourglassforce(int mode, const double v[8][3], const double xyz[8][3],
                           const double pkxj[4][3], double vol, double rho, double c, double q,
                           double ft[3][8]) {
    hourglassforcepow(mode, v, xyz, pkxj, std::pow(vol, hourglassdata::vexp), rho, c, q, ft);
}
