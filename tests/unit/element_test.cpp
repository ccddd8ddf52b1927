// Element kernels: centre geometry and strain increments, critical time
// step, internal nodal forces and hourglass forces.
//
// Where a kernel result has a closed form it is checked exactly; for general
// (sheared, stretched, warped) elements the results are checked against
// quantities computed here by other means: finite differences of the
// trilinear map, a Gauss-Jordan inverse, cross products of face diagonals,
// and the identity that the centre gradient of the coordinate field is I.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "control/errorstop.hpp"
#include "control/model.hpp"
#include "element/feforce.hpp"
#include "element/forces.hpp"
#include "element/geometry.hpp"
#include "element/timestep.hpp"
#include "input/datain.hpp"
#include "material/constitution.hpp"
#include "testutil.hpp"

namespace {

// Natural coordinates of the corners.
constexpr int nat[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                           {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
// Hourglass base vectors Gamma_m(a).
constexpr int gam[4][8] = {{1, -1, 1, -1, 1, -1, 1, -1},
                           {1, 1, -1, -1, -1, -1, 1, 1},
                           {1, -1, -1, 1, -1, 1, 1, -1},
                           {1, -1, 1, -1, -1, 1, -1, 1}};
// Corner opposite to each of corners 1-4 along the space diagonal (0-based).
constexpr int opposite[4] = {6, 7, 4, 5};

struct Hex {
    double x[8][3];
};

Hex unitcube() {
    Hex h{};
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) h.x[k][j] = 0.5 * (nat[k][j] + 1);
    return h;
}

// x = F X + t applied to every corner.
Hex affine(const Hex& base, const double F[3][3], const double t[3]) {
    Hex h{};
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i)
            h.x[k][i] = F[i][0] * base.x[k][0] + F[i][1] * base.x[k][1] + F[i][2] * base.x[k][2] + t[i];
    return h;
}

// A non-parallelepiped element: the unit cube with every corner moved by a
// fixed, irregular offset (warped faces, no two faces parallel).
Hex distorted() {
    static const double d[8][3] = {{0.05, -0.02, 0.03}, {0.12, 0.04, -0.06}, {0.21, 0.15, 0.02},
                                   {-0.07, 0.09, 0.04}, {0.03, -0.11, 0.08}, {-0.04, 0.02, 0.17},
                                   {0.16, -0.05, 0.09}, {0.02, 0.13, -0.03}};
    Hex h = unitcube();
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) h.x[k][j] += d[k][j];
    return h;
}

// Corner velocities of the linear field v = L x + c.
void linearfield(const Hex& h, const double L[3][3], const double c[3], double v[8][3]) {
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i)
            v[k][i] = L[i][0] * h.x[k][0] + L[i][1] * h.x[k][1] + L[i][2] * h.x[k][2] + c[i];
}

// Trilinear map x(xi) of an element.
void trilinear(const Hex& h, const double xi[3], double out[3]) {
    out[0] = out[1] = out[2] = 0.0;
    for (int a = 0; a < 8; ++a) {
        const double n = (1 + xi[0] * nat[a][0]) * (1 + xi[1] * nat[a][1]) * (1 + xi[2] * nat[a][2]) / 8.0;
        for (int j = 0; j < 3; ++j) out[j] += n * h.x[a][j];
    }
}

// jac(i, j) = d x_j / d xi_i at the centre by central differences of the
// trilinear map (exact, since the map is linear in each natural coordinate).
void fdjacobian(const Hex& h, double jac[3][3]) {
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
void gjinverse(const double a[3][3], double inv[3][3]) {
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

double det3(const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// Centre shape-function gradients of all 8 corners, grad[a][j] = dN_a/dx_j,
// from the finite-difference Jacobian.
void fdgradients(const Hex& h, double grad[8][3]) {
    double jac[3][3], inv[3][3];
    fdjacobian(h, jac);
    // jac(i, j) = dx_j/dxi_i, so its inverse has inv(j, k) = dxi_k/dx_j.
    gjinverse(jac, inv);
    for (int a = 0; a < 8; ++a)
        for (int j = 0; j < 3; ++j)
            grad[a][j] = (nat[a][0] * inv[j][0] + nat[a][1] * inv[j][1] + nat[a][2] * inv[j][2]) / 8.0;
}

// Expands the stored corners 1-4 of pkxj to all 8 corners.
void allgradients(const double pkxj[4][3], double grad[8][3]) {
    for (int a = 0; a < 4; ++a)
        for (int j = 0; j < 3; ++j) {
            grad[a][j] = pkxj[a][j];
            grad[opposite[a]][j] = -pkxj[a][j];
        }
}

double maxabs(const double f[8][3]) {
    double m = 0.0;
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) m = std::fmax(m, std::fabs(f[k][i]));
    return m;
}

void expect_sums_zero(const double f[8][3], double tol) {
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

Kinematics kinematics(const Hex& h, const double v[8][3], double dt) {
    Kinematics k{};
    jacobian(h.x, k.vol, k.ijac);
    strain(dt, v, k.ijac, k.de, k.vort, k.pkxj);
    return k;
}

}  // namespace

// ---------------------------------------------------------------- geometry

TEST(ElementGeometry, UnitCubeExactValues) {
    const Hex h = unitcube();
    double v[8][3] = {};
    const Kinematics k = kinematics(h, v, 1.0);
    EXPECT_EQ(k.vol, 1.0);
    for (int j = 0; j < 3; ++j)
        for (int m = 0; m < 3; ++m) EXPECT_EQ(k.ijac[j][m], j == m ? 2.0 : 0.0) << j << "," << m;
    const double expected[4][3] = {
        {-0.25, -0.25, -0.25}, {0.25, -0.25, -0.25}, {0.25, 0.25, -0.25}, {-0.25, 0.25, -0.25}};
    for (int a = 0; a < 4; ++a)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(k.pkxj[a][j], expected[a][j]) << a << "," << j;
}

TEST(ElementGeometry, MirroredCornerOrderKeepsPositiveVolumeAndSignedInverse) {
    const Hex c = unitcube();
    Hex m{};
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 3; ++j) {
            m.x[k][j] = c.x[k + 4][j];
            m.x[k + 4][j] = c.x[k][j];
        }
    double vol, ijac[3][3];
    jacobian(m.x, vol, ijac);
    EXPECT_EQ(vol, 1.0);
    // The zeta direction is reversed: d zeta / d z = -2.
    const double expected[3][3] = {{2, 0, 0}, {0, 2, 0}, {0, 0, -2}};
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(ijac[j][k], expected[j][k]);
    // The determinant itself is negative.
    double jac[3][3], inv[3][3], det;
    fdjacobian(m, jac);
    innve(jac, inv, det);
    EXPECT_EQ(det, -0.125);
}

TEST(ElementGeometry, InnveInvertsAGeneralMatrix) {
    const double a[3][3] = {{2.0, -1.0, 0.5}, {0.3, 4.0, -1.2}, {1.1, 0.7, 3.3}};
    double inv[3][3], det;
    innve(a, inv, det);
    EXPECT_NEAR(det, det3(a), 1e-13 * std::fabs(det3(a)));
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) {
            double s = 0.0;
            for (int j = 0; j < 3; ++j) s += a[i][j] * inv[j][k];
            EXPECT_NEAR(s, i == k ? 1.0 : 0.0, 1e-14) << i << "," << k;
        }
}

TEST(ElementGeometry, SingularMatrixGivesZeroVolumeAndNonFiniteInverse) {
    Hex h = unitcube();
    for (int k = 0; k < 8; ++k) h.x[k][2] = 0.0;  // flat element
    double vol, ijac[3][3];
    jacobian(h.x, vol, ijac);
    EXPECT_EQ(vol, 0.0);
    EXPECT_FALSE(std::isfinite(ijac[2][2]));
}

// Velocity fields with a closed-form strain and spin increment on the unit
// cube (dt = 0.5 so every product is exact).
TEST(ElementGeometry, StrainAndSpinOfSimpleFieldsOnUnitCube) {
    struct Case {
        const char* name;
        double L[3][3];
        double c[3];
        double de[6];
        double vort[3];
    };
    const double a = 3.0, w = 2.0, s = 4.0, dt = 0.5;
    const Case cases[] = {
        {"rigid translation", {}, {1.5, -2.0, 7.0}, {0, 0, 0, 0, 0, 0}, {0, 0, 0}},
        {"uniform stretch v=(a x,0,0)", {{a, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 0, 0},
         {a * dt, 0, 0, 0, 0, 0}, {0, 0, 0}},
        {"rigid rotation about z", {{0, -w, 0}, {w, 0, 0}, {0, 0, 0}}, {0.3, 0.1, 0},
         {0, 0, 0, 0, 0, 0}, {0, 0, -w * dt}},
        {"pure shear v=(s y,0,0)", {{0, s, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 0, 0},
         {0, 0, 0, 0, 0, s * dt}, {0, 0, 0.5 * s * dt}},
        {"shear v=(0,0,s y)", {{0, 0, 0}, {0, 0, 0}, {0, s, 0}}, {0, 0, 0},
         {0, 0, 0, s * dt, 0, 0}, {-0.5 * s * dt, 0, 0}},
        {"shear v=(0,0,s x)", {{0, 0, 0}, {0, 0, 0}, {s, 0, 0}}, {0, 0, 0},
         {0, 0, 0, 0, s * dt, 0}, {0, -0.5 * s * dt, 0}},
    };
    const Hex h = unitcube();
    for (const Case& cs : cases) {
        double v[8][3];
        linearfield(h, cs.L, cs.c, v);
        const Kinematics k = kinematics(h, v, dt);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(k.de[i], cs.de[i]) << cs.name << " de " << i;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(k.vort[i], cs.vort[i]) << cs.name << " vort " << i;
    }
}

// Sheared, stretched and general (warped) elements against the finite-
// difference Jacobian; a linear velocity field must be reproduced exactly by
// the centre gradient whatever the element shape.
TEST(ElementGeometry, GeneralElementsAgainstTrilinearMap) {
    const double shearF[3][3] = {{1.0, 0.4, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
    const double stretchF[3][3] = {{2.5, 0.0, 0.0}, {0.0, 0.5, 0.0}, {0.0, 0.0, 1.5}};
    const double genF[3][3] = {{1.2, 0.3, -0.1}, {-0.2, 0.9, 0.25}, {0.15, -0.35, 1.4}};
    const double t[3] = {3.0, -1.0, 0.5};
    struct Case {
        const char* name;
        Hex h;
        double exactvol;  // < 0: no closed form
    };
    const Case cases[] = {
        {"sheared cube", affine(unitcube(), shearF, t), 1.0},
        {"stretched box", affine(unitcube(), stretchF, t), 2.5 * 0.5 * 1.5},
        {"general parallelepiped", affine(unitcube(), genF, t), det3(genF)},
        {"warped element", distorted(), -1.0},
        {"warped element, affine image", affine(distorted(), genF, t), -1.0},
    };
    const double L[3][3] = {{0.7, -1.3, 0.4}, {2.1, -0.2, 0.9}, {-0.6, 1.7, 0.3}};
    const double c[3] = {5.0, -3.0, 1.0};
    const double dt = 1.0e-3;
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.name);
        double v[8][3];
        linearfield(cs.h, L, c, v);
        const Kinematics k = kinematics(cs.h, v, dt);

        double jac[3][3];
        fdjacobian(cs.h, jac);
        const double fdvol = 8.0 * std::fabs(det3(jac));
        EXPECT_NEAR(k.vol, fdvol, 1e-13 * fdvol);
        if (cs.exactvol > 0) {
            EXPECT_NEAR(k.vol, cs.exactvol, 1e-13 * cs.exactvol);
        }
        // ijac is the inverse of the centre Jacobian.
        for (int i = 0; i < 3; ++i)
            for (int m = 0; m < 3; ++m) {
                double s = 0.0;
                for (int j = 0; j < 3; ++j) s += jac[i][j] * k.ijac[j][m];
                EXPECT_NEAR(s, i == m ? 1.0 : 0.0, 1e-13);
            }

        // Shape-function gradients against the independent computation, and
        // the gradient of the coordinate field is the identity.
        double grad[8][3], ref[8][3];
        allgradients(k.pkxj, grad);
        fdgradients(cs.h, ref);
        for (int a = 0; a < 8; ++a)
            for (int j = 0; j < 3; ++j) EXPECT_NEAR(grad[a][j], ref[a][j], 1e-13) << a << "," << j;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                double s = 0.0;
                for (int a = 0; a < 8; ++a) s += cs.h.x[a][i] * grad[a][j];
                EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-13);
            }

        // Strain (engineering shear) and spin increments of L.
        const double de[6] = {L[0][0] * dt,
                              L[1][1] * dt,
                              L[2][2] * dt,
                              (L[1][2] + L[2][1]) * dt,
                              (L[0][2] + L[2][0]) * dt,
                              (L[0][1] + L[1][0]) * dt};
        const double vort[3] = {0.5 * (L[1][2] - L[2][1]) * dt, 0.5 * (L[0][2] - L[2][0]) * dt,
                                0.5 * (L[0][1] - L[1][0]) * dt};
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(k.de[i], de[i], 1e-14) << "de " << i;
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(k.vort[i], vort[i], 1e-14) << "vort " << i;
    }
}

TEST(ElementGeometry, RigidMotionsOfWarpedElementGiveNoStrain) {
    const Hex h = distorted();
    const double w[3] = {0.8, -1.1, 2.3};
    // v = w x (x - x0) + c: skew-symmetric gradient.
    const double L[3][3] = {{0, -w[2], w[1]}, {w[2], 0, -w[0]}, {-w[1], w[0], 0}};
    const double c[3] = {1.0, 2.0, -0.5};
    double v[8][3];
    linearfield(h, L, c, v);
    const double dt = 0.01;
    const Kinematics k = kinematics(h, v, dt);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(k.de[i], 0.0, 1e-15) << i;
    // The spin increment carries (W23, W13, W12) * dt with W = L here.
    EXPECT_NEAR(k.vort[0], -w[0] * dt, 1e-15);
    EXPECT_NEAR(k.vort[1], w[1] * dt, 1e-15);
    EXPECT_NEAR(k.vort[2], -w[2] * dt, 1e-15);
}

// --------------------------------------------------------------- time step

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
        {"3 x 2 x 4 box: shortest edge", affine(unitcube(), bigF, t), 1.0, 2.0, (6.0 * 6.0) / (12.0 * 12.0)},
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

// ------------------------------------------------------------ nodal forces

TEST(ElementNodalForce, UnitCubeUnderMeanStressAndPureShear) {
    double v[8][3] = {};
    const Kinematics k = kinematics(unitcube(), v, 1.0);
    const double p = 8.0, s = 12.0;
    {
        const double sd[6] = {0, 0, 0, 0, 0, 0};
        double f[8][3];
        nodalforce_kernel(k.pkxj, p, sd, 1.0, f);
        // Tension pulls every corner towards the centre: f_a = -p/4 (xi, eta, zeta)_a.
        for (int a = 0; a < 8; ++a)
            for (int i = 0; i < 3; ++i) EXPECT_EQ(f[a][i], -0.25 * p * nat[a][i]) << a << "," << i;
        // Each face carries p times its area (1): the x = 1 face is pulled by -p.
        EXPECT_EQ(f[1][0] + f[2][0] + f[5][0] + f[6][0], -p);
        EXPECT_EQ(f[0][0] + f[3][0] + f[4][0] + f[7][0], p);
    }
    {
        const double sd[6] = {0, 0, 0, 0, 0, s};
        double f[8][3];
        nodalforce_kernel(k.pkxj, 0.0, sd, 1.0, f);
        // f_a = -s/4 (eta_a, xi_a, 0).
        for (int a = 0; a < 8; ++a) {
            EXPECT_EQ(f[a][0], -0.25 * s * nat[a][1]) << a;
            EXPECT_EQ(f[a][1], -0.25 * s * nat[a][0]) << a;
            EXPECT_EQ(f[a][2], 0.0) << a;
        }
        EXPECT_EQ(f[0][0], 0.25 * s);
        EXPECT_EQ(f[0][1], 0.25 * s);
        EXPECT_EQ(f[1][0], 0.25 * s);
        EXPECT_EQ(f[1][1], -0.25 * s);
    }
}

// f_a = -V sigma grad N_a on a warped element, with the gradients computed
// independently; the forces are in balance and carry no moment.
TEST(ElementNodalForce, WarpedElementBalanceAndIndependentForces) {
    const Hex h = distorted();
    double v[8][3] = {};
    const Kinematics k = kinematics(h, v, 1.0);
    const double sm = -3.5e6;
    const double sd[6] = {1.2e6, -0.4e6, -0.8e6, 2.5e5, -7.0e5, 4.4e5};
    double f[8][3];
    nodalforce_kernel(k.pkxj, sm, sd, k.vol, f);

    const double sig[3][3] = {{sd[0] + sm, sd[5], sd[4]}, {sd[5], sd[1] + sm, sd[3]}, {sd[4], sd[3], sd[2] + sm}};
    double grad[8][3];
    fdgradients(h, grad);
    const double scale = maxabs(f);
    for (int a = 0; a < 8; ++a)
        for (int i = 0; i < 3; ++i) {
            const double ref = -k.vol * (sig[i][0] * grad[a][0] + sig[i][1] * grad[a][1] + sig[i][2] * grad[a][2]);
            EXPECT_NEAR(f[a][i], ref, 1e-12 * scale) << a << "," << i;
        }
    expect_sums_zero(f, 1e-12 * scale);
    // Moment about the origin: sum x_a x f_a = 0 for a symmetric stress.
    double mom[3] = {0, 0, 0};
    for (int a = 0; a < 8; ++a) {
        mom[0] += h.x[a][1] * f[a][2] - h.x[a][2] * f[a][1];
        mom[1] += h.x[a][2] * f[a][0] - h.x[a][0] * f[a][2];
        mom[2] += h.x[a][0] * f[a][1] - h.x[a][1] * f[a][0];
    }
    for (double m : mom) EXPECT_NEAR(m, 0.0, 1e-11 * scale);
}

TEST(ElementNodalForce, ScatterAddsAtNodesAndRepeatedNodeGetsBoth) {
    std::vector<double> acc(3 * 10, 1.0);
    const int node[8] = {3, 4, 5, 6, 7, 8, 9, 9};  // node 9 occurs twice
    double f[8][3];
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) f[k][i] = 10.0 * k + i;
    scatter_add(node, f, acc.data());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(acc[i], 1.0);              // node 1 untouched
        EXPECT_EQ(acc[3 * 2 + i], 1.0 + i);  // node 3 gets corner 1
        EXPECT_EQ(acc[3 * 8 + i], 1.0 + (60.0 + i) + (70.0 + i));
        EXPECT_EQ(acc[3 * 9 + i], 1.0);  // node 10 untouched
    }
}

TEST(ElementNodalForce, ZeroStressLeavesAccumulatorUnchanged) {
    model::reset();
    particledata::nb_particle = 8;
    particledata::acc.assign(24, 0.5);
    double v[8][3] = {};
    const Kinematics k = kinematics(distorted(), v, 1.0);
    history h{};
    const int node[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    nodalforce(node, k.pkxj, h, k.vol);
    for (double a : particledata::acc) EXPECT_EQ(a, 0.5);
    model::reset();
}

// --------------------------------------------------------------- hourglass

namespace {
// Hourglass forces by both kernels for a unit-volume element (vpow = 1).
void bothmethods(const Hex& h, const double v[8][3], double rho, double c, double q, double fstd[8][3],
                 double ffb[8][3]) {
    double vol, ijac[3][3], de[6], vort[3], pkxj[4][3];
    jacobian(h.x, vol, ijac);
    strain(1.0, v, ijac, de, vort, pkxj);
    const double vpow = std::pow(vol, hourglassdata::vexp);
    hgforcestandard(v, vol, rho, c, q, vpow, fstd);
    hgforceflangan(v, h.x, pkxj, vol, rho, c, q, vpow, ffb);
}
}  // namespace

// Unit cube with v_i(a) = u Gamma_m(a): Flanagan-Belytschko gives
// f_i(a) = -2 Q rho c u Gamma_m(a), the standard method adds the quadratic
// term -1600 Q^2 rho |u| u Gamma_m(a); the other components are zero. The
// numbers are powers of two so both closed forms are exact.
TEST(ElementHourglass, SingleModeOnUnitCubeExactValues) {
    const double Q = 0.125, rho = 8.0, c = 2.0;
    const double us[] = {0.5, -0.5};
    for (int m = 0; m < 4; ++m)
        for (int i = 0; i < 3; ++i)
            for (double u : us) {
                double v[8][3] = {};
                for (int a = 0; a < 8; ++a) v[a][i] = u * gam[m][a];
                double fstd[8][3], ffb[8][3];
                bothmethods(unitcube(), v, rho, c, Q, fstd, ffb);
                const double lin = 2.0 * Q * rho * c * u;                        // 2 or -2
                const double quad = 1600.0 * Q * Q * rho * std::fabs(u) * u;    // +-50
                for (int a = 0; a < 8; ++a)
                    for (int j = 0; j < 3; ++j) {
                        const double efb = j == i ? -lin * gam[m][a] : 0.0;
                        const double estd = j == i ? -(lin + quad) * gam[m][a] : 0.0;
                        EXPECT_EQ(ffb[a][j], efb) << "mode " << m + 1 << " comp " << i << " u " << u << " corner " << a;
                        EXPECT_EQ(fstd[a][j], estd) << "mode " << m + 1 << " comp " << i << " u " << u << " corner " << a;
                    }
            }
}

TEST(ElementHourglass, SingleModeWithDeckLikeValues) {
    const double Q = static_cast<double>(0.1f), rho = 7800.0, c = 5960.0, u = 0.02;
    double v[8][3] = {};
    for (int a = 0; a < 8; ++a) v[a][1] = u * gam[2][a];
    double fstd[8][3], ffb[8][3];
    bothmethods(unitcube(), v, rho, c, Q, fstd, ffb);
    for (int a = 0; a < 8; ++a) {
        EXPECT_DOUBLE_EQ(ffb[a][1], -2.0 * Q * rho * c * u * gam[2][a]);
        EXPECT_DOUBLE_EQ(fstd[a][1], -(2.0 * Q * rho * c * u + 1600.0 * Q * Q * rho * u * u) * gam[2][a]);
        EXPECT_EQ(ffb[a][0], 0.0);
        EXPECT_EQ(fstd[a][2], 0.0);
    }
}

TEST(ElementHourglass, RigidTranslationGivesNoForceInBothMethods) {
    const double c3[3] = {2.0, -7.0, 0.25};
    const double L0[3][3] = {};
    for (const Hex& h : {unitcube(), distorted()}) {
        double v[8][3];
        linearfield(h, L0, c3, v);
        double fstd[8][3], ffb[8][3];
        bothmethods(h, v, 7800.0, 5000.0, 0.1, fstd, ffb);
        EXPECT_EQ(maxabs(fstd), 0.0);
        // Only rounding of the orthogonalised vectors remains.
        EXPECT_LT(maxabs(ffb), 1e-12 * (0.1 * 7800.0 * 5000.0 * 7.0));
    }
}

// Any linear velocity field on a warped element: Flanagan-Belytschko sees no
// hourglass motion (its vectors are orthogonal to linear fields), the
// standard method does (its raw vectors are not, off a parallelepiped).
TEST(ElementHourglass, LinearFieldsOnWarpedElement) {
    const double w = 3.0;
    struct Case {
        const char* name;
        double L[3][3];
    };
    const Case cases[] = {
        {"rigid rotation about z", {{0, -w, 0}, {w, 0, 0}, {0, 0, 0}}},
        {"rigid rotation about a skew axis", {{0, -1.2, 0.7}, {1.2, 0, -2.1}, {-0.7, 2.1, 0}}},
        {"general linear field", {{0.7, -1.3, 0.4}, {2.1, -0.2, 0.9}, {-0.6, 1.7, 0.3}}},
    };
    const double c[3] = {0.5, -0.2, 0.1};
    const Hex h = distorted();
    for (const Case& cs : cases) {
        double v[8][3];
        linearfield(h, cs.L, c, v);
        double fstd[8][3], ffb[8][3];
        const double rho = 7800.0, cs_ = 5000.0, Q = 0.1;
        bothmethods(h, v, rho, cs_, Q, fstd, ffb);
        // Scale of a force from hourglass velocities of order |v|.
        const double scale = Q * rho * cs_ * 3.0;
        EXPECT_LT(maxabs(ffb), 1e-12 * scale) << cs.name;
        EXPECT_GT(maxabs(fstd), 1e-3 * scale) << cs.name;
    }
}

TEST(ElementHourglass, ForcesSumToZeroForArbitraryVelocities) {
    double v[8][3];
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) v[k][i] = std::sin(1.0 + 3.7 * k + 1.3 * i) * 2.0;
    for (const Hex& h : {unitcube(), distorted()}) {
        double fstd[8][3], ffb[8][3];
        bothmethods(h, v, 7800.0, 5000.0, 0.1, fstd, ffb);
        EXPECT_GT(maxabs(fstd), 0.0);
        EXPECT_GT(maxabs(ffb), 0.0);
        expect_sums_zero(fstd, 1e-12 * maxabs(fstd));
        expect_sums_zero(ffb, 1e-12 * maxabs(ffb));
    }
}

TEST(ElementHourglass, MethodSelectionAndThreshold) {
    struct Case {
        const char* name;
        int method;
        double coef;
        int mode;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"default (standard, 0.1)", 1, static_cast<double>(0.1f), 1},
        {"Flanagan-Belytschko", 2, 0.1, 2},
        {"method 0", 0, 0.1, 0},
        {"coefficient 0", 1, 0.0, 0},
        {"coefficient 9e-7", 2, 9.0e-7, 0},
        {"double 1e-6 is above the threshold", 1, 1.0e-6, 1},
        {"deck value 1e-6 (single precision) equals the threshold", 1, static_cast<double>(1.0e-6f), 0},
        {"negative coefficient", 1, -0.1, 0},
        {"not-a-number coefficient", 1, nan, 0},
        {"unknown method, control on", 3, 0.1, -1},
        {"negative method, control on", -1, 0.1, -1},
        {"unknown method, coefficient at the threshold", 3, static_cast<double>(1.0e-6f), 0},
        {"unknown method, coefficient 0", 7, 0.0, 0},
    };
    EXPECT_EQ(hourglassdata::coefmin, 9.999999974752427e-07);
    EXPECT_EQ(hourglassdata::vexp, 0.6666666865348816);
    for (const Case& cs : cases) {
        model::reset();
        materialdata::hourglass = {cs.method, cs.coef};
        EXPECT_EQ(hourglassmode(), cs.mode) << cs.name;
    }
    model::reset();
}

// hourglassforce applies the volume factor V^(2/3) and adds the kernel
// forces at the element's nodes; off means no change; an unknown method
// stops with its message.
TEST(ElementHourglass, HourglassForceAddsKernelForcesAtNodes) {
    const double F[3][3] = {{2, 0, 0}, {0, 1.5, 0.2}, {0, 0, 3}};
    const double t[3] = {0, 0, 0};
    const Hex h = affine(distorted(), F, t);
    double v[8][3];
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) v[k][i] = std::cos(0.3 + 2.1 * k - 0.7 * i);
    double vol, ijac[3][3], de[6], vort[3], pkxj[4][3];
    jacobian(h.x, vol, ijac);
    strain(1.0, v, ijac, de, vort, pkxj);
    const int node[8] = {8, 7, 6, 5, 4, 3, 2, 1};
    const double rho = 2700.0, c = 6100.0;
    for (int method : {0, 1, 2}) {
        model::reset();
        particledata::nb_particle = 8;
        particledata::acc.assign(24, 0.25);
        materialdata::hourglass = {method, 0.15};
        hourglassforce(node, v, h.x, pkxj, vol, rho, c);
        double f[8][3] = {};
        const double vpow = std::pow(vol, 0.6666666865348816);
        if (method == 1) hgforcestandard(v, vol, rho, c, 0.15, vpow, f);
        if (method == 2) hgforceflangan(v, h.x, pkxj, vol, rho, c, 0.15, vpow, f);
        for (int k = 0; k < 8; ++k)
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(particledata::acc[3 * (node[k] - 1) + i], 0.25 + f[k][i]) << method;
    }
    model::reset();
    particledata::nb_particle = 8;
    particledata::acc.assign(24, 0.0);
    materialdata::hourglass = {4, 0.1};
    testing::internal::CaptureStdout();
    EXPECT_THROW(hourglassforce(node, v, h.x, pkxj, vol, rho, c), errorstop::stop_exception);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " ***Error*** Invalid Hourglass control method !\n");
    model::reset();
}

TEST(ElementForceDriver, ZeroVolumeLine) {
    for (int e : {1, 42, 123456}) {
        testing::internal::CaptureStdout();
        EXPECT_THROW(zerovolume(e), errorstop::stop_exception);
        std::fflush(stdout);
        char num[16];
        std::snprintf(num, sizeof num, "%6d", e);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(" *** Error *** Jacobian determinant of element ") + num + " is negative ! \n");
    }
}

// ------------------------------------------------------------ element pass

namespace {

// One distorted, moving, stressed element on nodes 1-8 and a free node 9.
void setupelementpass(int method) {
    model::reset();
    const Hex h = distorted();
    particledata::nb_particle = 9;
    particledata::pos.assign(27, 0.0);
    particledata::vel.assign(27, 0.0);
    particledata::fp.assign(27, 0.0);
    particledata::acc.assign(27, -99.0);
    particledata::mp.assign(9, 1.0);
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) {
            particledata::pos[3 * k + i] = h.x[k][i];
            particledata::vel[3 * k + i] = 3.0 * std::sin(0.4 + 1.7 * k + 2.3 * i);
            particledata::fp[3 * k + i] = 1.0e3 * (k + 1) * (i - 1);
        }
    particledata::pos[24] = 7.0;
    particledata::fp[25] = 5.0e4;
    elementdata::nb_element = 1;
    elementdata::element_list.assign(1, element{{1, 2, 3, 4, 5, 6, 7, 8}, 1, 1});
    material m{};
    m.mtype = 3;
    m.density = 7800.0;
    m.young = 2.0e11;
    m.poisson = 0.3;
    m.wavespeed = 5900.0;
    m.yield0 = 3.0e7;  // below the initial equivalent stress: the update yields
    m.tangmod = 1.0e9;
    materialdata::nb_mat = 1;
    materialdata::mat_list.assign(1, m);
    history hist{};
    double vol, ijac[3][3];
    jacobian(h.x, vol, ijac);
    hist.vol0 = vol * 1.01;
    hist.sig_y = m.yield0;
    hist.sm = -2.0e7;
    const double sd[6] = {3.0e7, -1.0e7, -2.0e7, 5.0e6, -4.0e6, 8.0e6};
    for (int i = 0; i < 6; ++i) hist.sd[i] = sd[i];
    materialdata::history_list.assign(1, hist);
    materialdata::lenhistorylist = 1;
    materialdata::hourglass = {method, 0.1};
    simulation::dtk = 1.0e-5;
    simulation::dtk1 = 1.0e6;
}

}  // namespace

// The element pass equals the chain of kernels: loads times tf, internal
// forces of the updated stress, then hourglass forces; the step is the scaled
// element step, limited to 5 % growth.
TEST(ElementForceDriver, PassEqualsKernelChain) {
    for (int method : {0, 1, 2}) {
        SCOPED_TRACE("hourglass method " + std::to_string(method));
        setupelementpass(method);
        // The reference chain, on copies.
        const double tf = 0.75;
        std::vector<double> acc(27);
        for (int i = 0; i < 27; ++i) acc[static_cast<size_t>(i)] = particledata::fp[static_cast<size_t>(i)] * tf;
        double xyz[8][3], v[8][3];
        for (int k = 0; k < 8; ++k)
            for (int i = 0; i < 3; ++i) {
                xyz[k][i] = particledata::pos[static_cast<size_t>(3 * k + i)];
                v[k][i] = particledata::vel[static_cast<size_t>(3 * k + i)];
            }
        double vol, ijac[3][3], de[6], vort[3], pkxj[4][3];
        jacobian(xyz, vol, ijac);
        strain(simulation::dtk, v, ijac, de, vort, pkxj);
        const material m = materialdata::mat_list[0];
        history h = materialdata::history_list[0];
        const double rho = m.density * h.vol0 / vol;
        double dte = 1.0e6, edist = 1.0;
        elementtimestep(xyz, vol, m.wavespeed, dte, edist);
        materialdata::constitution(de, vort, rho, h, m, vol);
        const double energy = simulation::engstrain;
        simulation::engstrain = 0.0;
        const int node[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        double f[8][3];
        nodalforce_kernel(pkxj, h.sm, h.sd, vol, f);
        scatter_add(node, f, acc.data());
        if (method != 0) {
            double fh[8][3];
            const double vpow = std::pow(vol, 0.6666666865348816);
            if (method == 1)
                hgforcestandard(v, vol, rho, m.wavespeed, 0.1, vpow, fh);
            else
                hgforceflangan(v, xyz, pkxj, vol, rho, m.wavespeed, 0.1, vpow, fh);
            scatter_add(node, fh, acc.data());
        }

        for (const double old : {1.0e6, 1.0e-6}) {
            SCOPED_TRACE("dtk1old " + std::to_string(old));
            setupelementpass(method);
            simulation::dtk1old = old;
            simulation::engstrain = 0.0;
            feforce(tf);
            for (int i = 0; i < 27; ++i)
                EXPECT_EQ(particledata::acc[static_cast<size_t>(i)], acc[static_cast<size_t>(i)]) << "entry " << i;
            const history& got = materialdata::history_list[0];
            EXPECT_EQ(got.sm, h.sm);
            for (int i = 0; i < 6; ++i) EXPECT_EQ(got.sd[i], h.sd[i]);
            EXPECT_EQ(got.epeff, h.epeff);
            EXPECT_GT(got.epeff, 0.0);  // the update did yield
            EXPECT_EQ(simulation::engstrain, energy);
            EXPECT_EQ(elementdata::eledistortion, edist);
            const double limited = old == 1.0e6 ? dte * static_cast<double>(0.9f) : 1.0499999523162842 * old;
            EXPECT_EQ(simulation::dtk1, limited);
            EXPECT_EQ(simulation::dtk1old, limited);
        }
    }
    model::reset();
}

TEST(ElementForceDriver, NoElementsLeavesLoadsAndSentinel) {
    setupelementpass(1);
    elementdata::nb_element = 0;
    simulation::dtk1old = 3.0e-4;
    elementdata::eledistortion = 0.2;
    feforce(2.0);
    for (int i = 0; i < 27; ++i)
        EXPECT_EQ(particledata::acc[static_cast<size_t>(i)], 2.0 * particledata::fp[static_cast<size_t>(i)]);
    EXPECT_EQ(simulation::dtk1, 1.0e6);
    EXPECT_EQ(simulation::dtk1old, 3.0e-4);
    EXPECT_EQ(elementdata::eledistortion, 1.0);
    model::reset();
}

// The coefficient of "hour" is read in single precision: 1.0e-6 from a deck
// is exactly the threshold and leaves the control off.
TEST(ElementHourglass, DeckCoefficientAgainstThreshold) {
    struct Case {
        const char* record;
        int mode;
    };
    const Case cases[] = {
        {"hour 1 1.0e-6", 0}, {"hour 2 1.0e-6", 0}, {"hour 1 1.1e-6", 1},
        {"hour 2 0.05", 2},   {"hour 0 0.1", 0},     {"hour 5 0.0", 0},
    };
    for (const Case& cs : cases) {
        model::reset();
        testutil::TempDir dir("hourdeck");
        testutil::write_file(dir / "Comm", "0\n\n");
        testutil::write_file(dir / "a", std::string(cs.record) + "\nendi\n");
        {
            testutil::InDir in(dir.path());
            datain::inputpara();
            EXPECT_EQ(hourglassmode(), cs.mode) << cs.record;
            model::reset();
        }
    }
}
