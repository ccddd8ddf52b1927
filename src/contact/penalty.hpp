// The node-to-face kernel of the penalty contact: where a node lies against
// a four-node face, and the force that pushes it back out.
//
// The face is the bilinear patch x(xi, eta) = sum N_i(xi, eta) x_i over its
// corners in the order that makes (x_2 - x_0) x (x_3 - x_1) point out of its
// element. The node's closest point on the patch is found by a fixed number
// of Gauss-Newton steps from the centre; the gap is the distance along the
// patch's unit normal there, negative when the node is behind the face.
#pragma once

#include <cmath>

namespace contact {

// Parametric tolerance: a node whose closest point lies up to this far
// beyond an edge still belongs to the face, so a node crossing from one face
// to the next is held by one of them at every instant.
inline constexpr double edgetolerance = 0.02;

struct projection {
    double xi, eta;    // parametric coordinates of the closest point
    double gap;        // signed distance along the normal (negative: behind the face), m
    double normal[3];  // unit outward normal at the closest point
    double shape[4];   // N_i at the closest point
    bool inside;       // the closest point lies on the face (within the tolerance)
};

inline void bilinear(double xi, double eta, double n[4]) {
    n[0] = 0.25 * (1.0 - xi) * (1.0 - eta);
    n[1] = 0.25 * (1.0 + xi) * (1.0 - eta);
    n[2] = 0.25 * (1.0 + xi) * (1.0 + eta);
    n[3] = 0.25 * (1.0 - xi) * (1.0 + eta);
}

// fmax(-2, fmin(2, u)) without the library calls: a NaN goes to 2 as there.
inline double clampfar(double u) { return u < 2.0 ? (u > -2.0 ? u : -2.0) : 2.0; }

// Closest point of node `xs` on the face with corners `xf`.
inline projection project(const double xs[3], const double xf[4][3]) {
    projection p{};
    double xi = 0.0, eta = 0.0;
    double r[3], t1[3], t2[3];
    const auto geometry = [&](double a, double b) {
        double n[4];
        bilinear(a, b, n);
        const double dxi[4] = {-0.25 * (1.0 - b), 0.25 * (1.0 - b), 0.25 * (1.0 + b),
                               -0.25 * (1.0 + b)};
        const double deta[4] = {-0.25 * (1.0 - a), -0.25 * (1.0 + a), 0.25 * (1.0 + a),
                                0.25 * (1.0 - a)};
        for (int c = 0; c < 3; ++c) {
            double x = 0.0, u = 0.0, w = 0.0;
            for (int i = 0; i < 4; ++i) {
                x += n[i] * xf[i][c];
                u += dxi[i] * xf[i][c];
                w += deta[i] * xf[i][c];
            }
            r[c] = xs[c] - x;
            t1[c] = u;
            t2[c] = w;
        }
    };
    for (int it = 0; it < 4; ++it) {
        geometry(xi, eta);
        const double a = t1[0] * t1[0] + t1[1] * t1[1] + t1[2] * t1[2];
        const double b = t1[0] * t2[0] + t1[1] * t2[1] + t1[2] * t2[2];
        const double c = t2[0] * t2[0] + t2[1] * t2[1] + t2[2] * t2[2];
        const double f = t1[0] * r[0] + t1[1] * r[1] + t1[2] * r[2];
        const double g = t2[0] * r[0] + t2[1] * r[1] + t2[2] * r[2];
        const double det = a * c - b * b;
        if (!(det > 0.0)) break;
        xi = xi + (c * f - b * g) / det;
        eta = eta + (a * g - b * f) / det;
        // Far outside the face the answer only has to say so.
        xi = clampfar(xi);
        eta = clampfar(eta);
    }
    geometry(xi, eta);
    double nx = t1[1] * t2[2] - t1[2] * t2[1];
    double ny = t1[2] * t2[0] - t1[0] * t2[2];
    double nz = t1[0] * t2[1] - t1[1] * t2[0];
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(len > 0.0)) return p;
    nx = nx / len;
    ny = ny / len;
    nz = nz / len;
    p.xi = xi;
    p.eta = eta;
    p.normal[0] = nx;
    p.normal[1] = ny;
    p.normal[2] = nz;
    p.gap = r[0] * nx + r[1] * ny + r[2] * nz;
    bilinear(xi, eta, p.shape);
    const double lim = 1.0 + edgetolerance;
    p.inside = std::fabs(xi) <= lim && std::fabs(eta) <= lim;
    return p;
}

// The side test: whether a node is so far to the side of a face that its
// closest point cannot lie on the face (within the tolerance) while the
// node is no further from it than `reach` along the face's normal n. A few
// operations per node that spare the iteration of project() for the faces
// a node lies beside, as the next faces along a flat surface do for a node
// on its edge.
//
// With the face written x(xi, eta) = c + a1 xi + a2 eta + a3 xi eta and n
// the unit normal along a1 x a2 (that of the diagonals), the dual vectors
// e1 = (a2 x n) / J and e2 = (n x a1) / J (J = |a1 x a2|) lie in the plane
// and give (xs - c).e1 = xi + xi eta (a3.e1) + L.e1 for the closest point
// (xi, eta) and the node's offset L from it. L lies along the patch's
// normal there, which leans from n by at most an angle of sine s, so
// |L.e1| <= |L| s |e1|, and |L| <= reach / (1 - s) where reach bounds L.n.
// A closest point within the tolerance then has
// |(xs - c).e1| <= t + t^2 |a3.e1| + reach s / (1 - s) |e1|
// (t = 1 + edgetolerance), and the same with e2: a node beyond either bound
// is off the face.
struct sideframe {
    bool usable;          // false: a face too warped to tell
    double c[3];          // centre (mean of the corners)
    double e1[3], e2[3];  // dual vectors
    double base1, base2;  // t + t^2 |a3.e_i|
    double lean1, lean2;  // s / (1 - s) |e_i|
};

// The face's part of the side test, from its corners.
inline sideframe sideframeof(const double xf[4][3]) {
    sideframe fr{};
    double a1[3], a2[3], a3[3];
    for (int k = 0; k < 3; ++k) {
        fr.c[k] = 0.25 * (xf[0][k] + xf[1][k] + xf[2][k] + xf[3][k]);
        a1[k] = 0.25 * (-xf[0][k] + xf[1][k] + xf[2][k] - xf[3][k]);
        a2[k] = 0.25 * (-xf[0][k] - xf[1][k] + xf[2][k] + xf[3][k]);
        a3[k] = 0.25 * (xf[0][k] - xf[1][k] + xf[2][k] - xf[3][k]);
    }
    const auto cross = [](const double u[3], const double v[3], double out[3]) {
        out[0] = u[1] * v[2] - u[2] * v[1];
        out[1] = u[2] * v[0] - u[0] * v[2];
        out[2] = u[0] * v[1] - u[1] * v[0];
    };
    const auto norm = [](const double u[3]) {
        return std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    };
    const auto dot = [](const double u[3], const double v[3]) {
        return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    };
    double A[3], b13[3], b32[3];
    cross(a1, a2, A);
    cross(a1, a3, b13);
    cross(a3, a2, b32);
    const double J = norm(A);
    const double t = 1.0 + edgetolerance;
    // The normal at any point of the patch is A + xi a1 x a3 + eta a3 x a2.
    const double lean = t * (norm(b13) + norm(b32));
    fr.usable = J > 0.0 && lean < 0.5 * J;
    if (!fr.usable) return fr;
    const double s = lean / (J - lean);
    const double n[3] = {A[0] / J, A[1] / J, A[2] / J};
    cross(a2, n, fr.e1);
    cross(n, a1, fr.e2);
    for (int k = 0; k < 3; ++k) {
        fr.e1[k] = fr.e1[k] / J;
        fr.e2[k] = fr.e2[k] / J;
    }
    fr.base1 = t + t * t * std::fabs(dot(a3, fr.e1));
    fr.base2 = t + t * t * std::fabs(dot(a3, fr.e2));
    fr.lean1 = s / (1.0 - s) * norm(fr.e1);
    fr.lean2 = s / (1.0 - s) * norm(fr.e2);
    return fr;
}

// The node's part: true when node `xs` is off the face of frame `fr`.
inline bool offface(const sideframe& fr, const double xs[3], double reach) {
    if (!fr.usable) return false;
    const double r[3] = {xs[0] - fr.c[0], xs[1] - fr.c[1], xs[2] - fr.c[2]};
    // A relative margin for the rounding and for an iteration that has not
    // quite settled.
    const double slack = 1e-6;
    const double u1 = r[0] * fr.e1[0] + r[1] * fr.e1[1] + r[2] * fr.e1[2];
    const double u2 = r[0] * fr.e2[0] + r[1] * fr.e2[1] + r[2] * fr.e2[2];
    return std::fabs(u1) > (fr.base1 + reach * fr.lean1) * (1.0 + slack) + slack ||
           std::fabs(u2) > (fr.base2 + reach * fr.lean2) * (1.0 + slack) + slack;
}

inline bool offface(const double xs[3], const double xf[4][3], double reach) {
    return offface(sideframeof(xf), xs, reach);
}

// Normal force of a pair, positive pushing the node out of the face: the
// larger of the penalty spring on the gap g(n) (stiffness k) and the force
// that holds the gap predicted for t(n+1) without contact, gnext, at the
// stop depth `stop`, or where the node already is if it is deeper: with the
// pair's effective mass meff, the steps dt(n+1/2) `dtnext` and dt(n) `dtn`,
// a force F changes the gap at t(n+1) by F dtn dtnext / meff. `weight`
// shares that force between a pair and its mirror image where both act (1/2
// each). The spring keeps small penetrations elastic; the held stop bounds
// the depth at any closing speed and only ever takes away approach velocity,
// so it makes no energy (a node deeper than the stop is pushed back out by
// the spring alone).
inline double normalforce(double g, double gnext, double k, double meff, double stop, double weight,
                          double dtnext, double dtn) {
    const double spring = g < 0.0 ? -k * g : 0.0;
    // Deeper than the stop, the depth is taken back by a tenth a step.
    const double depth = std::fmax(stop, -g - 0.1 * std::fmax(0.0, -g - stop));
    const double excess = -gnext - depth;
    const double held =
        excess > 0.0 && dtnext > 0.0 && dtn > 0.0 ? weight * meff * excess / (dtnext * dtn) : 0.0;
    return std::fmax(spring, held);
}

// Friction of the pair: the Coulomb force opposing the tangential part of
// the relative velocity `vr`, of magnitude mu |fn| with mu falling from the
// static to the dynamic coefficient as exp(-decay |v_t|), but never more
// than the force that stops the relative sliding within the step (mass
// `meff`, step `dt`): that bound is the sticking force. Adds it to `f`.
inline void friction(const double vr[3], const double n[3], double fn, double mus, double mud,
                     double decay, double meff, double dt, double f[3]) {
    const double vn = vr[0] * n[0] + vr[1] * n[1] + vr[2] * n[2];
    const double vt[3] = {vr[0] - vn * n[0], vr[1] - vn * n[1], vr[2] - vn * n[2]};
    const double s = std::sqrt(vt[0] * vt[0] + vt[1] * vt[1] + vt[2] * vt[2]);
    if (!(s > 0.0)) return;
    const double mu = mud + (mus - mud) * std::exp(-decay * s);
    const double ft = std::fmin(mu * fn, meff * s / dt);
    for (int c = 0; c < 3; ++c) f[c] = f[c] - ft * vt[c] / s;
}

}  // namespace contact
