// Corner forces of one element (element/forces.hpp, element/corners.hpp):
// internal forces of the centre stress, the hourglass forces of both
// methods and the choice of method, and the gather and scatters between the
// node arrays and the corners.
//
// Closed forms are checked exactly; on warped elements the internal forces
// are checked against gradients computed by finite differences of the
// trilinear map.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "element/corners.hpp"
#include "element/forces.hpp"
#include "element/geometry.hpp"
#include "elementcases.hpp"
#include "model/model.hpp"

using namespace elementcases;

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

    const double sig[3][3] = {
        {sd[0] + sm, sd[5], sd[4]}, {sd[5], sd[1] + sm, sd[3]}, {sd[4], sd[3], sd[2] + sm}};
    double grad[8][3];
    fdgradients(h, grad);
    const double scale = maxabs(f);
    for (int a = 0; a < 8; ++a)
        for (int i = 0; i < 3; ++i) {
            const double ref =
                -k.vol * (sig[i][0] * grad[a][0] + sig[i][1] * grad[a][1] + sig[i][2] * grad[a][2]);
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
    std::vector<double> acc(3 * size_t{10}, 1.0);
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

TEST(ElementNodalForce, ZeroStressGivesNoForce) {
    double v[8][3] = {};
    const Kinematics k = kinematics(distorted(), v, 1.0);
    const double sd[6] = {};
    double f[8][3];
    nodalforce_kernel(k.pkxj, 0.0, sd, k.vol, f);
    EXPECT_EQ(maxabs(f), 0.0);
}

// The gather takes each corner's x, y, z from its node; scattering the
// component-major forces adds exactly what the corner-major scatter adds.
TEST(ElementNodalForce, GatherByNodeAndBothScattersAgree) {
    std::vector<double> pos(3 * size_t{10}), vel(3 * size_t{10});
    for (size_t i = 0; i < pos.size(); ++i) {
        pos[i] = 0.5 * static_cast<double>(i);
        vel[i] = -2.0 * static_cast<double>(i);
    }
    const int node[8] = {10, 1, 4, 4, 7, 2, 9, 3};
    double xyz[8][3], v[8][3], x2[8][3];
    gather_corners(node, pos.data(), vel.data(), xyz, v);
    gather_corners(node, pos.data(), x2);
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(xyz[k][i], pos[static_cast<size_t>(3 * (node[k] - 1) + i)]) << k << "," << i;
            EXPECT_EQ(v[k][i], vel[static_cast<size_t>(3 * (node[k] - 1) + i)]) << k << "," << i;
            EXPECT_EQ(x2[k][i], xyz[k][i]);
        }
    double f[8][3], ft[3][8];
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) f[k][i] = ft[i][k] = std::sin(1.0 + k + 0.3 * i) * 1.0e3;
    std::vector<double> a1(3 * size_t{10}, 0.1), a2(3 * size_t{10}, 0.1);
    scatter_add(node, f, a1.data());
    scatter_add_t(node, ft, a2.data());
    for (size_t i = 0; i < a1.size(); ++i) EXPECT_EQ(a1[i], a2[i]) << i;
}

// --------------------------------------------------------------- hourglass

namespace {
// Hourglass forces of both methods through the element pass's kernel, turned
// corner-major (f[a][i]) for the checks.
void bothmethods(const Hex& h, const double v[8][3], double rho, double c, double q,
                 double fstd[8][3], double ffb[8][3]) {
    double vol, ijac[3][3], de[6], vort[3], pkxj[4][3];
    jacobian(h.x, vol, ijac);
    strain(1.0, v, ijac, de, vort, pkxj);
    double ts[3][8], tf[3][8];
    hourglassforce(1, v, h.x, pkxj, vol, rho, c, q, ts);
    hourglassforce(2, v, h.x, pkxj, vol, rho, c, q, tf);
    for (int a = 0; a < 8; ++a)
        for (int i = 0; i < 3; ++i) {
            fstd[a][i] = ts[i][a];
            ffb[a][i] = tf[i][a];
        }
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
                const double lin = 2.0 * Q * rho * c * u;                     // 2 or -2
                const double quad = 1600.0 * Q * Q * rho * std::fabs(u) * u;  // +-50
                for (int a = 0; a < 8; ++a)
                    for (int j = 0; j < 3; ++j) {
                        const double efb = j == i ? -lin * gam[m][a] : 0.0;
                        const double estd = j == i ? -(lin + quad) * gam[m][a] : 0.0;
                        EXPECT_EQ(ffb[a][j], efb)
                            << "mode " << m + 1 << " comp " << i << " u " << u << " corner " << a;
                        EXPECT_EQ(fstd[a][j], estd)
                            << "mode " << m + 1 << " comp " << i << " u " << u << " corner " << a;
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
        EXPECT_DOUBLE_EQ(fstd[a][1],
                         -(2.0 * Q * rho * c * u + 1600.0 * Q * Q * rho * u * u) * gam[2][a]);
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
        {"deck value 1e-6 (single precision) equals the threshold", 1, static_cast<double>(1.0e-6f),
         0},
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
        process::reset();
        materialdata::hourglass = {cs.method, cs.coef};
        EXPECT_EQ(hourglassmode(), cs.mode) << cs.name;
    }
    process::reset();
}

// hourglassforce applies the volume factor V^(2/3) (2/3 in single
// precision) to the method's kernel.
TEST(ElementHourglass, HourglassForceAppliesTheVolumeFactor) {
    const double F[3][3] = {{2, 0, 0}, {0, 1.5, 0.2}, {0, 0, 3}};
    const double t[3] = {0, 0, 0};
    const Hex h = affine(distorted(), F, t);
    double v[8][3];
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) v[k][i] = std::cos(0.3 + 2.1 * k - 0.7 * i);
    double vol, ijac[3][3], de[6], vort[3], pkxj[4][3];
    jacobian(h.x, vol, ijac);
    strain(1.0, v, ijac, de, vort, pkxj);
    ASSERT_GT(vol, 2.0);  // a volume factor far from 1
    const double rho = 2700.0, c = 6100.0;
    const double vpow = std::pow(vol, 0.6666666865348816);
    for (int method : {1, 2}) {
        double got[3][8], want[3][8];
        hourglassforce(method, v, h.x, pkxj, vol, rho, c, 0.15, got);
        if (method == 1)
            hgforcestandard_t(v, rho, c, 0.15, vpow, want);
        else
            hgforceflangan_t(v, h.x, pkxj, rho, c, 0.15, vpow, want);
        for (int i = 0; i < 3; ++i)
            for (int a = 0; a < 8; ++a)
                EXPECT_EQ(got[i][a], want[i][a]) << method << ": " << i << "," << a;
    }
}

// The step bound's Gram figure against the damping the Flanagan-Belytschko
// forces really apply: the largest rate of the force operator (found by
// power iteration on the forces themselves, vpow 4 so that f = -C v) never
// exceeds the bound; a cube gives exactly the base vectors' 8, and a thin
// element on a warped face (where a cube's corner is mapped onto a sphere
// by a graded mesh: its faces bend by 30 times its thickness) damps some
// 270 times faster.
TEST(ElementHourglass, GramBoundCoversTheFlanaganDamping) {
    const Hex thin = {{{0.0, 0.0, 0.0},
                       {1.62472, -0.4541, 1.01489},
                       {1.01555, 1.01555, 1.62405},
                       {-0.4541, 1.62472, 1.01489},
                       {0.01643, 0.01643, 0.03319},
                       {1.64676, -0.44448, 1.04353},
                       {1.02846, 1.02846, 1.64996},
                       {-0.44448, 1.64676, 1.04353}}};
    struct Case {
        const char* name;
        Hex h;
        double atleast;  // the largest rate is at least this
    } const cases[] = {{"cube", unitcube(), 8.0},
                       {"distorted", distorted(), 8.0},
                       {"thin on a warped face", thin, 1000.0}};
    for (const Case& c : cases) {
        double vol, ijac[3][3], de[6], vort[3], pkxj[4][3], v[8][3];
        for (int k = 0; k < 8; ++k)
            for (int i = 0; i < 3; ++i) v[k][i] = i == 0 ? std::sin(1.0 + 2.3 * k) : 0.0;
        jacobian(c.h.x, vol, ijac);
        strain(1.0, v, ijac, de, vort, pkxj);
        const double bound = flanagangram(c.h.x, pkxj);
        double rate = 0.0;
        for (int it = 0; it < 200; ++it) {
            double f[3][8], norm = 0.0, vnorm = 0.0;
            hgforceflangan_t(v, c.h.x, pkxj, 1.0, 1.0, 1.0, 4.0, f);
            for (int a = 0; a < 8; ++a) {
                norm += f[0][a] * f[0][a];
                vnorm += v[a][0] * v[a][0];
            }
            rate = std::sqrt(norm / vnorm);
            for (int a = 0; a < 8; ++a) v[a][0] = -f[0][a] / std::sqrt(norm);
        }
        std::printf("%s: Gram bound %.3f, largest rate %.3f\n", c.name, bound, rate);
        EXPECT_LE(rate, bound * (1.0 + 1e-12)) << c.name;
        EXPECT_GE(rate, c.atleast * (1.0 - 1e-9)) << c.name;
    }
    double vol, ijac[3][3], de[6], vort[3], pkxj[4][3], v[8][3] = {};
    const Hex cube = unitcube();
    jacobian(cube.x, vol, ijac);
    strain(1.0, v, ijac, de, vort, pkxj);
    EXPECT_EQ(flanagangram(cube.x, pkxj), 8.0);  // the step of a regular mesh is kept
}
