// Whether a point lies inside a hexahedron: the inverse of the element's
// trilinear map, for the nodes of one body that start inside another.
#pragma once

#include <cmath>

namespace contact {

// Natural coordinates r of point p in the hexahedron with corners x (in the
// element's corner order), by Newton's method from the centre; false when
// the map is singular on the way or has not converged, which a point far
// outside a distorted element may give.
inline bool naturalcoordinates(const double x[8][3], const double p[3], double r[3]) {
    static constexpr int sg[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                     {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    r[0] = r[1] = r[2] = 0.0;
    for (int it = 0; it < 12; ++it) {
        double f[3] = {-p[0], -p[1], -p[2]}, j[3][3] = {};
        for (int n = 0; n < 8; ++n) {
            const double a = 1.0 + sg[n][0] * r[0], b = 1.0 + sg[n][1] * r[1],
                         c = 1.0 + sg[n][2] * r[2];
            const double shape = 0.125 * a * b * c;
            const double d[3] = {0.125 * sg[n][0] * b * c, 0.125 * sg[n][1] * a * c,
                                 0.125 * sg[n][2] * a * b};
            for (int i = 0; i < 3; ++i) {
                f[i] += shape * x[n][i];
                for (int k = 0; k < 3; ++k) j[i][k] += d[k] * x[n][i];
            }
        }
        // The step solves J dr = -f by Cramer's rule.
        const double det = j[0][0] * (j[1][1] * j[2][2] - j[1][2] * j[2][1]) -
                           j[0][1] * (j[1][0] * j[2][2] - j[1][2] * j[2][0]) +
                           j[0][2] * (j[1][0] * j[2][1] - j[1][1] * j[2][0]);
        if (!(std::fabs(det) > 0.0)) return false;
        double step = 0.0;
        double dr[3];
        for (int k = 0; k < 3; ++k) {
            double m[3][3];
            for (int i = 0; i < 3; ++i)
                for (int c = 0; c < 3; ++c) m[i][c] = c == k ? f[i] : j[i][c];
            dr[k] = (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0])) /
                    det;
            step = std::fmax(step, std::fabs(dr[k]));
        }
        for (int k = 0; k < 3; ++k) r[k] -= dr[k];
        if (!(std::fabs(r[0]) < 10.0 && std::fabs(r[1]) < 10.0 && std::fabs(r[2]) < 10.0))
            return false;
        if (step < 1e-10) return true;
    }
    return false;
}

}  // namespace contact
