// Critical time step and distortion ratio of one element.
//
// Each face is measured through its two diagonals x13 and x24:
// S = |fs|^2 |ft|^2 - (fs.ft)^2 with fs = x13 - x24, ft = x13 + x24, which is
// 16 A^2 for a plane face of area A. The step is the element volume over its
// largest face area, divided by the wave speed; the distortion ratio is the
// smallest face measure over the largest.
#pragma once

#include <cmath>

#include "element/lanes.hpp"

namespace elementface {
// Corners of the six faces (0-based), in order around each face.
inline constexpr int fac[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                  {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
}  // namespace elementface

// Largest and smallest face measure of the element.
inline void facemeasures(const double xyz[8][3], double& smax, double& smin) {
    smax = 0.0;
    smin = static_cast<double>(1.0e20f);
    for (int f = 0; f < 6; ++f) {
        const double* x1 = xyz[elementface::fac[f][0]];
        const double* x2 = xyz[elementface::fac[f][1]];
        const double* x3 = xyz[elementface::fac[f][2]];
        const double* x4 = xyz[elementface::fac[f][3]];
        // x and y side by side, z alone.
        const lanes::pair x13 = lanes::load(x3) - lanes::load(x1);
        const lanes::pair x24 = lanes::load(x4) - lanes::load(x2);
        const lanes::pair fs = x13 - x24;
        const lanes::pair ft = x13 + x24;
        const lanes::pair fss = fs * fs, ftt = ft * ft, fst = fs * ft;
        const double z13 = x3[2] - x1[2];
        const double z24 = x4[2] - x2[2];
        const double fsz = z13 - z24;
        const double ftz = z13 + z24;
        const double ss = fss[0] + fss[1] + fsz * fsz;
        const double tt = ftt[0] + ftt[1] + ftz * ftz;
        const double st = fst[0] + fst[1] + fsz * ftz;
        const double s = ss * tt - st * st;
        if (s > smax) smax = s;
        if (s < smin) smin = s;
    }
}

inline void elementtimestep(const double xyz[8][3], double vol, double c, double& dtk1,
                            double& edist) {
    double smax, smin;
    facemeasures(xyz, smax, smin);
    const double dte = 4.0 * vol / std::sqrt(smax) / c;
    if (dtk1 >= dte) dtk1 = dte;
    const double r = smin / smax;
    if (!(edist <= r)) edist = r;
}

// The element length of the step, volume over largest face area, and the
// running distortion minimum; the step follows from the wave speed and the
// bulk viscosity once the stress update has given the element's state.
inline double elementlength(const double xyz[8][3], double vol, double& edist) {
    double smax, smin;
    facemeasures(xyz, smax, smin);
    const double r = smin / smax;
    if (!(edist <= r)) edist = r;
    return 4.0 * vol / std::sqrt(smax);
}

// Step of an element of length l and wave speed c with bulk viscosity
// coefficients q1, q2 at volumetric strain rate trd: l / (Q + sqrt(Q^2 + c^2))
// with Q = q1 c + q2 l |trd| in compression; l / c otherwise.
inline double viscousstep(double l, double c, double trd, double q1, double q2) {
    if (!(trd < 0.0)) return l / c;
    const double qq = q1 * c + q2 * l * -trd;
    return l / (qq + std::sqrt(qq * qq + c * c));
}

// Bulk viscosity pressure (positive in compression) at volumetric strain
// rate trd: rho (q2^2 l^2 trd^2 - q1 l c trd) when trd < 0, else 0.
inline double viscouspressure(double rho, double l, double c, double trd, double q1, double q2) {
    if (!(trd < 0.0)) return 0.0;
    return rho * (q2 * q2 * (l * l) * (trd * trd) - q1 * l * c * trd);
}

// Stable step of the free element ("stab on").
//
// With one-point integration and the lumped mass rho0 V0 / 8 at each corner,
// the element's stiffness V B^T C B acts only through the strain at the
// centre. With G = sum over the corners of grad N_a grad N_a^T (3 x 3) the
// highest frequency of the free element obeys
//
//   omega^2 <= 8 (V / V0) / rho0 (lambda tr G + 2 mu g_max)
//            = 8 c^2 (V / V0) (w tr G + (1 - w) g_max),  w = lambda / (lambda + 2 mu)
//
// (the dilatation of the centre strain sees lambda tr G + 2 mu g_max at
// most, the shears mu (g_i + g_j) <= 2 mu g_max), with g_max the largest
// eigenvalue of G, bounded here by G's largest absolute row sum and by tr G.
// The step 2 / omega is then L / c with L = 1 / sqrt(2 (V / V0) Phi),
// Phi = w tr G + (1 - w) g_max: for a unit cube at Poisson's ratio 0.3 the
// bound is the exact breathing mode of the free cube, L = 0.734, where the
// volume over the largest face gives 1 (and 0.9 of it is unstable on a mesh
// one element thick). Inside a mesh the element bound is conservative.

// Share w of lambda in the dilatational modulus lambda + 2 mu: nu / (1 - nu),
// 1 for a wave speed of the equation of state (its tangent bulk modulus
// grows in compression, so tr G alone bounds it).
inline double lambdashare(double poisson, bool eoswave) {
    if (eoswave) return 1.0;
    const double w = poisson / (1.0 - poisson);
    return w > 0.0 ? (w < 1.0 ? w : 1.0) : 0.0;
}

// L = 1 / sqrt(2 (V / V0) Phi) of the corner gradients pkxj (corners 1-4;
// 5-8 are their negatives and add the same outer products).
inline double stiffnesslength(const double pkxj[4][3], double w, double vratio) {
    double g[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int a = 0; a < 4; ++a) s = s + pkxj[a][i] * pkxj[a][j];
            g[i][j] = 2.0 * s;
        }
    const double tr = g[0][0] + g[1][1] + g[2][2];
    double gmax = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double row = std::fabs(g[i][0]) + std::fabs(g[i][1]) + std::fabs(g[i][2]);
        if (row > gmax) gmax = row;
    }
    if (gmax > tr) gmax = tr;
    const double phi = w * tr + (1.0 - w) * gmax;
    return 1.0 / std::sqrt(2.0 * vratio * phi);
}

// Largest projection of the corner velocities on the four hourglass base
// vectors, as the standard hourglass control forms them (its quadratic
// viscosity grows with it).
inline double hourglassprojection(const double v[8][3]) {
    double h = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double v1467 = v[0][i] - v[3][i] - v[5][i] + v[6][i];
        const double v2358 = v[1][i] - v[2][i] - v[4][i] + v[7][i];
        const double v1256 = v[0][i] - v[1][i] - v[4][i] + v[5][i];
        const double v3478 = v[2][i] - v[3][i] - v[6][i] + v[7][i];
        const double m[4] = {v1467 - v2358, v1467 + v2358, v1256 - v3478, v1256 + v3478};
        for (const double x : m)
            if (std::fabs(x) > h) h = std::fabs(x);
    }
    return h;
}

// The bounded step of one element of stiffness length ls and element length
// len (volume over largest face), wave speed c:
// - with bulk viscosity in compression (trd < 0) the damped step
//   ls / (Q + sqrt(Q^2 + c^2)), the damping ratio Q / c of the viscosity
//   q1 c + q2 len |trd| taken on the frequency 2 c / ls;
// - with hourglass viscosity, the step of its fastest mode: the modes damp
//   the corner masses rho0 V0 / 8 at the rate G a / m, a = rho q c V^(2/3)
//   / 4 (plus the quadratic part of the standard method, 100 q |h| for the
//   projection h), G the largest eigenvalue of the mode vectors' Gram
//   matrix (8 for the standard method's base vectors; flanagangram bounds
//   it for the Flanagan-Belytschko vectors), so explicit differences need
//   dt <= 2 m / (G a) = V / (G q V^(2/3) (c + 100 q |h|)).
// hgrate is G q V^(2/3) (c + 100 q |h|) (0 without hourglass control).
inline double boundedstep(double ls, double len, double c, bool bulk, double trd, double q1,
                          double q2, double vol, double hgrate) {
    double dt = ls / c;
    if (bulk && trd < 0.0) {
        const double qq = (q1 * c + q2 * len * -trd) * (len / ls);
        dt = ls / (qq + std::sqrt(qq * qq + c * c));
    }
    if (hgrate > 0.0) {
        const double dth = vol / hgrate;
        if (dth < dt) dt = dth;
    }
    return dt;
}
