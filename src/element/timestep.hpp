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
