// Critical time step and distortion ratio of one element.
//
// Each face is measured through its two diagonals x13 and x24:
// S = |fs|^2 |ft|^2 - (fs.ft)^2 with fs = x13 - x24, ft = x13 + x24, which is
// 16 A^2 for a plane face of area A. The step is the element volume over its
// largest face area, divided by the wave speed; the distortion ratio is the
// smallest face measure over the largest.
#pragma once

#include <cmath>

namespace elementface {
// Corners of the six faces (0-based), in order around each face.
inline constexpr int fac[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                  {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
}  // namespace elementface

inline void elementtimestep(const double xyz[8][3], double vol, double c, double& dtk1,
                            double& edist) {
    double smax = 0.0;
    double smin = static_cast<double>(1.0e20f);
    for (int f = 0; f < 6; ++f) {
        const double* x1 = xyz[elementface::fac[f][0]];
        const double* x2 = xyz[elementface::fac[f][1]];
        const double* x3 = xyz[elementface::fac[f][2]];
        const double* x4 = xyz[elementface::fac[f][3]];
        double fs[3], ft[3];
        for (int i = 0; i < 3; ++i) {
            const double x13 = x3[i] - x1[i];
            const double x24 = x4[i] - x2[i];
            fs[i] = x13 - x24;
            ft[i] = x13 + x24;
        }
        const double ss = fs[0] * fs[0] + fs[1] * fs[1] + fs[2] * fs[2];
        const double tt = ft[0] * ft[0] + ft[1] * ft[1] + ft[2] * ft[2];
        const double st = fs[0] * ft[0] + fs[1] * ft[1] + fs[2] * ft[2];
        const double s = ss * tt - st * st;
        if (s > smax) smax = s;
        if (s < smin) smin = s;
    }
    const double dte = 4.0 * vol / std::sqrt(smax) / c;
    if (dtk1 >= dte) dtk1 = dte;
    const double r = smin / smax;
    if (!(edist <= r)) edist = r;
}
