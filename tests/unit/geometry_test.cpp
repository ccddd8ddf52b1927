// Centre geometry of the element (element/geometry.hpp): volume and inverse
// Jacobian, the cofactor inverse, shape-function derivatives, strain and
// spin increments.
//
// Where a result has a closed form it is checked exactly; for general
// (sheared, stretched, warped) elements the results are checked against
// finite differences of the trilinear map, a Gauss-Jordan inverse and the
// identity that the centre gradient of the coordinate field is I.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "element/geometry.hpp"
#include "elementcases.hpp"

using namespace elementcases;

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
        {"uniform stretch v=(a x,0,0)",
         {{a, 0, 0}, {0, 0, 0}, {0, 0, 0}},
         {0, 0, 0},
         {a * dt, 0, 0, 0, 0, 0},
         {0, 0, 0}},
        {"rigid rotation about z",
         {{0, -w, 0}, {w, 0, 0}, {0, 0, 0}},
         {0.3, 0.1, 0},
         {0, 0, 0, 0, 0, 0},
         {0, 0, -w * dt}},
        {"pure shear v=(s y,0,0)",
         {{0, s, 0}, {0, 0, 0}, {0, 0, 0}},
         {0, 0, 0},
         {0, 0, 0, 0, 0, s * dt},
         {0, 0, 0.5 * s * dt}},
        {"shear v=(0,0,s y)",
         {{0, 0, 0}, {0, 0, 0}, {0, s, 0}},
         {0, 0, 0},
         {0, 0, 0, s * dt, 0, 0},
         {-0.5 * s * dt, 0, 0}},
        {"shear v=(0,0,s x)",
         {{0, 0, 0}, {0, 0, 0}, {s, 0, 0}},
         {0, 0, 0},
         {0, 0, 0, 0, s * dt, 0},
         {0, -0.5 * s * dt, 0}},
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
        if (cs.exactvol > 0) { EXPECT_NEAR(k.vol, cs.exactvol, 1e-13 * cs.exactvol); }
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

// midstepstrain: the motion of one step from x(n-1) to x(n), v = (x(n) -
// x(n-1)) / dt, on the distorted element. A discrete rigid rotation (with a
// translation) gives no strain increment and the spin increment of the
// Cayley form, 2 tan(angle / 2) about the axis; the gradient of x(n) strains
// the element by about angle^2 / 2 across the axis. A uniaxial stretch by
// lambda gives the mid-point strain 2 (lambda - 1) / (lambda + 1).
TEST(ElementGeometry, MidStepStrainOfDiscreteRotationsAndStretch) {
    struct Case {
        const char* name;
        double axis[3];  // unit rotation axis (0 for the stretch)
        double a1, a2;   // angles at n-1 and n
        double lambda;   // stretch along x from n-1 to n (1 for the rotations)
    };
    const double s = 1.0 / std::sqrt(3.0);
    const Case cases[] = {
        {"about z", {0, 0, 1}, 0.2, 0.5, 1.0},
        {"about a diagonal", {s, -s, s}, -1.0, -0.7, 1.0},
        {"a tenth of a turn about x", {1, 0, 0}, 2.0, 2.0 + 0.2 * M_PI, 1.0},
        {"stretch", {0, 0, 0}, 0.0, 0.0, 1.2},
    };
    const double dt = 1e-3;
    const Hex base = distorted();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Rodrigues: R = I + sin(a) K + (1 - cos(a)) K^2, K the cross-product matrix of the axis.
        auto rotation = [&](double a, double R[3][3]) {
            const double* n = c.axis;
            const double K[3][3] = {{0, -n[2], n[1]}, {n[2], 0, -n[0]}, {-n[1], n[0], 0}};
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) {
                    double kk = 0.0;
                    for (int m = 0; m < 3; ++m) kk += K[i][m] * K[m][j];
                    R[i][j] = (i == j ? 1.0 : 0.0) + std::sin(a) * K[i][j] + (1 - std::cos(a)) * kk;
                }
        };
        double R1[3][3], R2[3][3];
        rotation(c.a1, R1);
        rotation(c.a2, R2);
        R2[0][0] *= c.lambda;
        const double t1[3] = {0.3, -0.2, 0.1}, t2[3] = {0.35, -0.1, 0.12};
        const Hex x1 = affine(base, R1, t1), x2 = affine(base, R2, t2);
        double v[8][3];
        for (int k = 0; k < 8; ++k)
            for (int j = 0; j < 3; ++j) v[k][j] = (x2.x[k][j] - x1.x[k][j]) / dt;

        double de[6], vort[3];
        midstepstrain(dt, x2.x, v, de, vort);
        const Kinematics now = kinematics(x2, v, dt);
        if (c.lambda == 1.0) {
            const double spin = 2.0 * std::tan(0.5 * (c.a2 - c.a1));
            for (int i = 0; i < 6; ++i) EXPECT_NEAR(de[i], 0.0, 1e-14) << "de " << i;
            EXPECT_NEAR(vort[0], -spin * c.axis[0], 1e-14);
            EXPECT_NEAR(vort[1], spin * c.axis[1], 1e-14);
            EXPECT_NEAR(vort[2], -spin * c.axis[2], 1e-14);
            // The fault it mends: on x(n) the rotation stretches across the axis.
            const double a = c.a2 - c.a1;
            EXPECT_GT(std::fabs(now.de[0] + now.de[1] + now.de[2]), 0.4 * a * a);
        } else {
            EXPECT_NEAR(de[0], 2.0 * (c.lambda - 1.0) / (c.lambda + 1.0), 1e-14);
            for (int i = 1; i < 6; ++i) EXPECT_NEAR(de[i], 0.0, 1e-14) << "de " << i;
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(vort[i], 0.0, 1e-14) << "vort " << i;
            EXPECT_NEAR(now.de[0], (c.lambda - 1.0) / c.lambda, 1e-14);
        }
    }
}
