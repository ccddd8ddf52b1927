// Critical time step and distortion of one element (element/timestep.hpp):
// boxes with closed forms, warped elements against cross products of face
// diagonals, and the running minimum over elements.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "element/geometry.hpp"
#include "element/timestep.hpp"
#include "elementcases.hpp"

using namespace elementcases;

namespace {
// S_f of one face from the cross product of its diagonals: 4 |x13 x x24|^2.
double facemeasure(const Hex& h, const int f[4]) {
    double d13[3], d24[3];
    for (int i = 0; i < 3; ++i) {
        d13[i] = h.x[f[2]][i] - h.x[f[0]][i];
        d24[i] = h.x[f[3]][i] - h.x[f[1]][i];
    }
    const double cx = d13[1] * d24[2] - d13[2] * d24[1];
    const double cy = d13[2] * d24[0] - d13[0] * d24[2];
    const double cz = d13[0] * d24[1] - d13[1] * d24[0];
    return 4.0 * (cx * cx + cy * cy + cz * cz);
}
}  // namespace

TEST(ElementTimeStep, BoxesWithClosedForms) {
    const double boxF[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 2}};
    const double bigF[3][3] = {{3, 0, 0}, {0, 2, 0}, {0, 0, 4}};
    const double t[3] = {0, 0, 0};
    struct Case {
        const char* name;
        Hex h;
        double c;
        double dt;
        double r;
    };
    const Case cases[] = {
        {"unit cube, c = 1", unitcube(), 1.0, 1.0, 1.0},
        {"unit cube, c = 4", unitcube(), 4.0, 0.25, 1.0},
        {"1 x 1 x 2 box", affine(unitcube(), boxF, t), 1.0, 1.0, 0.25},
        {"3 x 2 x 4 box: shortest edge", affine(unitcube(), bigF, t), 1.0, 2.0,
         (6.0 * 6.0) / (12.0 * 12.0)},
    };
    for (const Case& cs : cases) {
        double vol, ijac[3][3];
        jacobian(cs.h.x, vol, ijac);
        double dtk1 = 1.0e6, edist = 1.0;
        elementtimestep(cs.h.x, vol, cs.c, dtk1, edist);
        EXPECT_EQ(dtk1, cs.dt) << cs.name;
        EXPECT_EQ(edist, cs.r) << cs.name;
    }
}

TEST(ElementTimeStep, RunningMinimumOfStepAndDistortion) {
    const Hex h = unitcube();  // dt_e = 1, r = 1 with c = 1
    struct Case {
        const char* name;
        double dtin, edistin, dtout, edistout;
    };
    const Case cases[] = {
        {"larger incoming step is lowered", 3.0, 1.0, 1.0, 1.0},
        {"equal incoming step is kept", 1.0, 1.0, 1.0, 1.0},
        {"smaller incoming step is kept", 0.5, 1.0, 0.5, 1.0},
        {"smaller incoming distortion is kept", 3.0, 0.3, 1.0, 0.3},
    };
    for (const Case& cs : cases) {
        double dtk1 = cs.dtin, edist = cs.edistin;
        elementtimestep(h.x, 1.0, 1.0, dtk1, edist);
        EXPECT_EQ(dtk1, cs.dtout) << cs.name;
        EXPECT_EQ(edist, cs.edistout) << cs.name;
    }
    // A 1 x 1 x 2 box after a cube lowers the distortion to 0.25.
    const double boxF[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 2}};
    const double t[3] = {0, 0, 0};
    double dtk1 = 1.0e6, edist = 1.0;
    elementtimestep(h.x, 1.0, 1.0, dtk1, edist);
    elementtimestep(affine(h, boxF, t).x, 2.0, 1.0, dtk1, edist);
    EXPECT_EQ(dtk1, 1.0);
    EXPECT_EQ(edist, 0.25);
}

TEST(ElementTimeStep, WarpedElementAgainstCrossProductOfDiagonals) {
    const double genF[3][3] = {{1.2, 0.3, -0.1}, {-0.2, 0.9, 0.25}, {0.15, -0.35, 1.4}};
    const double t[3] = {0.1, 0.2, 0.3};
    const Hex shapes[] = {distorted(), affine(distorted(), genF, t)};
    for (const Hex& h : shapes) {
        double smax = 0.0, smin = 1e300;
        for (const auto& f : elementface::fac) {
            const double s = facemeasure(h, f);
            smax = std::fmax(smax, s);
            smin = std::fmin(smin, s);
        }
        double vol, ijac[3][3];
        jacobian(h.x, vol, ijac);
        const double c = 5100.0;
        double dtk1 = 1.0e6, edist = 1.0;
        elementtimestep(h.x, vol, c, dtk1, edist);
        const double dt = 4.0 * vol / std::sqrt(smax) / c;
        EXPECT_NEAR(dtk1, dt, 1e-13 * dt);
        EXPECT_NEAR(edist, smin / smax, 1e-13);
        EXPECT_LT(edist, 1.0);
    }
}

TEST(ElementTimeStep, NonFiniteStepsLeaveMinimumAndNaNRatioReplacesDistortion) {
    // Zero wave speed: infinite step, minimum unchanged.
    Hex h = unitcube();
    double dtk1 = 2.0, edist = 0.5;
    elementtimestep(h.x, 1.0, 0.0, dtk1, edist);
    EXPECT_EQ(dtk1, 2.0);
    EXPECT_EQ(edist, 0.5);
    // All corners at one point: the step is 0/0 and leaves the minimum
    // unchanged; the ratio 0/0 replaces the distortion measure.
    for (auto& k : h.x) k[0] = k[1] = k[2] = 1.0;
    elementtimestep(h.x, 0.0, 1.0, dtk1, edist);
    EXPECT_EQ(dtk1, 2.0);
    EXPECT_TRUE(std::isnan(edist));
}

namespace {
// Centre gradients pk (corners 1-4) of an element.
void centregradients(const Hex& h, double pk[4][3]) {
    double vol, ijac[3][3], de[6], vort[3];
    const double v0[8][3] = {};
    jacobian(h.x, vol, ijac);
    strain(1.0, v0, ijac, de, vort, pk);
}

// Highest frequency squared of the free element with one-point integration
// and lumped mass rho V / 8 per corner (rho = 1, V0 = V), by power iteration
// on M^-1 K, K = V B^T C B with the centre gradients: an independent
// eigenvalue for the bound to hold against.
double highestomega2(const Hex& h, double lambda, double mu) {
    double pk[4][3];
    centregradients(h, pk);
    double grad[8][3];
    for (int a = 0; a < 4; ++a)
        for (int j = 0; j < 3; ++j) {
            grad[a][j] = pk[a][j];
            grad[(a + 2) % 4 + 4][j] = -pk[a][j];  // corner opposite a through the centre
        }
    auto apply = [&](const double u[8][3], double out[8][3]) {
        double e[3][3] = {};
        for (int a = 0; a < 8; ++a)
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    e[i][j] += 0.5 * (u[a][i] * grad[a][j] + u[a][j] * grad[a][i]);
        const double tr = e[0][0] + e[1][1] + e[2][2];
        double s[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) s[i][j] = 2.0 * mu * e[i][j] + (i == j ? lambda * tr : 0.0);
        for (int a = 0; a < 8; ++a)
            for (int i = 0; i < 3; ++i) {
                double f = 0.0;
                for (int j = 0; j < 3; ++j) f += s[i][j] * grad[a][j];
                out[a][i] = 8.0 * f;  // V B^T sigma over the corner mass V / 8
            }
    };
    double u[8][3], w[8][3], omega2 = 0.0;
    for (int a = 0; a < 8; ++a)
        for (int i = 0; i < 3; ++i) u[a][i] = std::sin(1.0 + 3.0 * a + i);
    for (int it = 0; it < 2000; ++it) {
        apply(u, w);
        double n = 0.0, d = 0.0;
        for (int a = 0; a < 8; ++a)
            for (int i = 0; i < 3; ++i) {
                n += w[a][i] * u[a][i];
                d += u[a][i] * u[a][i];
            }
        omega2 = n / d;
        double wn = 0.0;
        for (auto& r : w)
            for (double x : r) wn += x * x;
        for (int a = 0; a < 8; ++a)
            for (int i = 0; i < 3; ++i) u[a][i] = w[a][i] / std::sqrt(wn);
    }
    return omega2;
}
}  // namespace

// The stable-step length bounds the free element's highest frequency: never
// longer than the exact 2 / omega (c = 1), exact for the cube's breathing
// mode, and far shorter than volume over largest face for a thin plate.
TEST(StableStep, LengthBoundsTheFreeElementsHighestFrequency) {
    const double plateF[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 0.1}};
    const double shearF[3][3] = {{1, 0.4, 0}, {0, 1, 0.2}, {0.1, 0, 0.5}};
    const double t[3] = {0, 0, 0};
    struct Case {
        const char* name;
        Hex h;
        double poisson;
    } cases[] = {{"cube 0.3", unitcube(), 0.3},
                 {"cube 0.0", unitcube(), 0.0},
                 {"cube 0.45", unitcube(), 0.45},
                 {"plate 0.3", affine(unitcube(), plateF, t), 0.3},
                 {"sheared 0.34", affine(unitcube(), shearF, t), 0.34},
                 {"distorted 0.3", distorted(), 0.3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double mu = 1.0, lambda = 2.0 * mu * c.poisson / (1.0 - 2.0 * c.poisson);
        const double cc = std::sqrt(lambda + 2.0 * mu);  // rho = 1
        double pk[4][3];
        centregradients(c.h, pk);
        const double exact = 2.0 / std::sqrt(highestomega2(c.h, lambda, mu));
        const double bound = stiffnesslength(pk, lambdashare(c.poisson, false), 1.0) / cc;
        EXPECT_LE(bound, exact * (1.0 + 1e-9));
        EXPECT_GT(bound, 0.55 * exact);
        if (c.name[0] == 'c') { EXPECT_NEAR(bound, exact, 1e-9 * exact); }
    }
    // The cube at 0.3: 0.734 of its edge.
    double pk[4][3];
    centregradients(unitcube(), pk);
    EXPECT_NEAR(stiffnesslength(pk, lambdashare(0.3, false), 1.0), 0.7338, 1e-4);
}
