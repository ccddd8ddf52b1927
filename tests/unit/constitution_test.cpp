// Stress update of one element: the four material models, the Gruneisen
// equation of state with the element's own internal energy, the Jaumann
// rotation, the strain energy and the history reset.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "control/process.hpp"
#include "material/constitution.hpp"
#include "material/models.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"

namespace {

constexpr double E = 2.0e11, NU = 0.3;
const double MU = E / (2.0 * (1.0 + NU));
const double LAMBDA = E * NU / ((1.0 + NU) * (1.0 - 2.0 * NU));

material makemat(int mtype, double yield0 = 0.0, double tangmod = 0.0) {
    material m{};
    m.mtype = mtype;
    m.etype = 0;
    m.density = 7800.0;
    m.young = E;
    m.poisson = NU;
    m.wavespeed = 5000.0;
    m.yield0 = yield0;
    m.tangmod = tangmod;
    return m;
}

history freshhistory(const material& m, double vol0 = 1.0) {
    history h{};
    h.vol0 = vol0;
    h.sig_y = m.yield0;
    return h;
}

double totalstress(const history& h, int i) { return i < 3 ? h.sd[i] + h.sm : h.sd[i]; }

// One update at the material's own density (mu = 0) and unit volume.
void update(history& h, const material& m, const double de[6], const double vort[3] = nullptr,
            double den = -1.0, double vol = 1.0) {
    static const double nospin[3] = {0, 0, 0};
    materialdata::constitution(de, vort ? vort : nospin, den < 0 ? m.density : den, h, m, vol);
}

class MaterialUpdate : public testing::Test {
  protected:
    void SetUp() override {
        process::reset();
        simulation::dtk = 1.0e-6;
    }
    void TearDown() override { process::reset(); }
};

}  // namespace

TEST_F(MaterialUpdate, EquivalentStress) {
    const double tau = 3.0e8;
    const double shear[6] = {0, 0, 0, 0, 0, -tau};
    EXPECT_DOUBLE_EQ(materialdata::equivalentstress(shear), std::sqrt(1.5) * tau);
    EXPECT_DOUBLE_EQ(materialdata::vonmisesstress(shear), std::sqrt(3.0) * tau);
    // Uniaxial stress s along a turned axis n: deviator s (n n - I/3). The
    // von Mises stress is s in every direction; the components counted once
    // give s only along an axis.
    const double s = 2.4e8, d = std::acos(-1.0) / 180.0;
    const double dirs[][2] = {{0, 0}, {30, 0}, {45, 0}, {45, 35.26}};
    for (const auto& a : dirs) {
        const double n[3] = {std::cos(a[0] * d) * std::cos(a[1] * d),
                             std::sin(a[0] * d) * std::cos(a[1] * d), std::sin(a[1] * d)};
        const double uni[6] = {s * (n[0] * n[0] - 1.0 / 3.0),
                               s * (n[1] * n[1] - 1.0 / 3.0),
                               s * (n[2] * n[2] - 1.0 / 3.0),
                               s * n[1] * n[2],
                               s * n[2] * n[0],
                               s * n[0] * n[1]};
        EXPECT_NEAR(materialdata::vonmisesstress(uni), s, 1e-9 * s) << a[0] << " " << a[1];
        if (a[0] == 0.0) { EXPECT_DOUBLE_EQ(materialdata::equivalentstress(uni), s); }
        if (a[0] == 45.0) { EXPECT_LT(materialdata::equivalentstress(uni), 0.9 * s); }
    }
}

// Uniaxial strain and simple shear from zero stress against Hooke's law, for
// every model on its elastic path.
TEST_F(MaterialUpdate, ElasticPathOfEveryModelFollowsHookesLaw) {
    const double e = 1.0e-4, g = 2.0e-4;
    const double uniaxial[6] = {e, 0, 0, 0, 0, 0};
    const double shear[6] = {0, 0, 0, 0, g, 0};
    for (int mtype = 1; mtype <= 4; ++mtype) {
        SCOPED_TRACE("mtype " + std::to_string(mtype));
        const material m = makemat(mtype, 1.0e9, 1.0e9);
        {
            history h = freshhistory(m);
            update(h, m, uniaxial);
            EXPECT_NEAR(totalstress(h, 0), (LAMBDA + 2 * MU) * e, 1e-12 * MU * e);
            EXPECT_NEAR(totalstress(h, 1), LAMBDA * e, 1e-12 * MU * e);
            EXPECT_NEAR(totalstress(h, 2), LAMBDA * e, 1e-12 * MU * e);
            for (int i = 3; i < 6; ++i) EXPECT_EQ(h.sd[i], 0.0);
            const double q = 2 * MU * e;  // |sxx - syy|
            const double qfull = materialdata::equivalentstress(h.sd);
            EXPECT_EQ(h.seqv, mtype == 4 ? static_cast<double>(static_cast<float>(qfull)) : qfull);
            EXPECT_NEAR(h.seqv, q, 1e-6 * q);
            EXPECT_EQ(h.epeff, 0.0);
            EXPECT_EQ(h.sig_y, m.yield0);
        }
        {
            history h = freshhistory(m);
            update(h, m, shear);
            EXPECT_NEAR(h.sd[4], MU * g, 1e-12 * MU * g);
            EXPECT_EQ(h.sm, 0.0);
            for (int i : {0, 1, 2, 3, 5}) EXPECT_EQ(h.sd[i], 0.0);
        }
    }
}

TEST_F(MaterialUpdate, ZeroIncrementsLeaveStressAndEnergyUnchanged) {
    const material m = makemat(1);
    history h = freshhistory(m);
    h.sm = -2.0e7;
    const double sd0[6] = {1.0e7, -4.0e6, -6.0e6, 3.0e6, -2.0e6, 5.0e6};
    for (int i = 0; i < 6; ++i) h.sd[i] = sd0[i];
    simulation::engstrain = 12.5;
    const double zero[6] = {};
    update(h, m, zero);
    EXPECT_EQ(h.sm, -2.0e7);
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(h.sd[i], sd0[i]) << i;
    EXPECT_DOUBLE_EQ(h.seqv, materialdata::equivalentstress(sd0));
    EXPECT_EQ(simulation::engstrain, 12.5);
}

// Trapezoidal strain energy of one step, times the current volume.
TEST_F(MaterialUpdate, StrainEnergyIsTrapezoidalTimesVolume) {
    const material m = makemat(1);
    history h = freshhistory(m);
    const double e = 1.0e-4;
    const double de[6] = {e, 0, 0, 0, 0, 0};
    const double vol = 2.5;
    update(h, m, de, nullptr, -1.0, vol);
    const double sxx = (LAMBDA + 2 * MU) * e;
    EXPECT_NEAR(simulation::engstrain, 0.5 * vol * sxx * e, 1e-12 * vol * sxx * e);
    // Unloading by the same increment returns the energy to zero.
    const double back[6] = {-e, 0, 0, 0, 0, 0};
    update(h, m, back, nullptr, -1.0, vol);
    EXPECT_NEAR(simulation::engstrain, 0.0, 1e-12 * vol * sxx * e);
}

// A trial value exactly on the yield stress is elastic; one just above it
// is not.
TEST_F(MaterialUpdate, TrialValueExactlyOnYieldStressIsElastic) {
    const double de[6] = {3.0e-3, -1.0e-3, 0.5e-3, 1.0e-3, 0, 2.0e-3};
    // The trial value, from a run that stays elastic.
    history probe = freshhistory(makemat(3, 1.0e12, 0.0));
    update(probe, makemat(3, 1.0e12, 0.0), de);
    const double q = probe.seqv;
    for (int mtype = 2; mtype <= 4; ++mtype) {
        SCOPED_TRACE("mtype " + std::to_string(mtype));
        {
            const material m = makemat(mtype, q, 1.0e9);
            history h = freshhistory(m);
            update(h, m, de);
            for (int i = 0; i < 6; ++i) EXPECT_EQ(h.sd[i], probe.sd[i]) << i;
            EXPECT_EQ(h.epeff, 0.0);
            EXPECT_EQ(h.sig_y, q);
        }
        {
            const material m = makemat(mtype, std::nextafter(q, 0.0), 1.0e9);
            history h = freshhistory(m);
            update(h, m, de);
            if (mtype == 4) {
                // Single-precision rounding of q may not lie above the yield
                // stress; then the step is elastic as well.
                if (static_cast<double>(static_cast<float>(q)) > m.yield0) {
                    EXPECT_GT(h.epeff, 0.0);
                }
            } else {
                EXPECT_NE(h.sd[0], probe.sd[0]);
                if (mtype == 3) { EXPECT_GT(h.epeff, 0.0); }
            }
        }
    }
}

TEST_F(MaterialUpdate, PerfectlyPlasticScalesOntoYieldSurface) {
    const double Y = 2.5e8;
    const material m = makemat(2, Y);
    history h = freshhistory(m);
    const double de[6] = {2.0e-3, -1.0e-3, -0.5e-3, 0, 1.0e-3, 0};
    history probe = freshhistory(makemat(2, 1e12));
    update(probe, makemat(2, 1e12), de);
    update(h, m, de);
    const double r = Y / probe.seqv;
    ASSERT_LT(r, 1.0);
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(h.sd[i], probe.sd[i] * r) << i;
    EXPECT_EQ(h.sm, probe.sm);  // the mean stress stays elastic
    EXPECT_DOUBLE_EQ(h.seqv, Y);
    EXPECT_EQ(h.epeff, 0.0);  // no plastic strain recorded
    EXPECT_EQ(h.sig_y, Y);
}

// Linear hardening: plastic strain (q - sy)/(3G + H), new yield stress
// sy + H dp, and seqv equal to the new yield stress; with Et = 0 the yield
// stress stays and the plastic strain still grows.
TEST_F(MaterialUpdate, LinearHardeningRadialReturn) {
    const double Y = 2.5e8;
    const double de[6] = {2.0e-3, -1.0e-3, -0.5e-3, 0, 1.0e-3, 0};
    for (double Et : {2.0e9, 0.0}) {
        SCOPED_TRACE("tangmod " + std::to_string(Et));
        const material m = makemat(3, Y, Et);
        history probe = freshhistory(makemat(3, 1e12, Et));
        update(probe, makemat(3, 1e12, Et), de);
        const double q = probe.seqv;
        const double H = E * Et / (E - Et);
        const double dp = (q - Y) / (3.0 * MU + H);
        history h = freshhistory(m);
        update(h, m, de);
        EXPECT_DOUBLE_EQ(h.epeff, dp);
        EXPECT_DOUBLE_EQ(h.sig_y, Y + H * dp);
        if (Et == 0.0) { EXPECT_EQ(h.sig_y, Y); }
        EXPECT_DOUBLE_EQ(h.seqv, h.sig_y);
        EXPECT_DOUBLE_EQ(materialdata::equivalentstress(h.sd), h.sig_y);
        for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(h.sd[i], probe.sd[i] * h.sig_y / q) << i;
        // A second plastic step accumulates.
        const double ep1 = h.epeff;
        update(h, m, de);
        EXPECT_GT(h.epeff, ep1);
        EXPECT_DOUBLE_EQ(h.seqv, h.sig_y);
    }
}

// Johnson-Cook: plastic step sized with the linear modulus, new yield stress
// (A + B ep^n)(1 + C ln(rate/0.001)), seqv = the new yield stress, and the
// single-precision trial value.
TEST_F(MaterialUpdate, JohnsonCookPlasticStep) {
    material m = makemat(4, 3.0e8, 0.0);
    m.bjc = 2.0e8;
    m.njc = 0.5;
    m.cjc = 0.02;
    simulation::dtk = 1.0e-6;
    const double de[6] = {2.0e-3, -1.0e-3, -0.5e-3, 0, 1.0e-3, 0};
    history probe = freshhistory(makemat(3, 1e12));
    update(probe, makemat(3, 1e12), de);
    const double q = probe.seqv;
    const double qs = static_cast<double>(static_cast<float>(q));
    history h = freshhistory(m);
    update(h, m, de);
    const double dp = (qs - 3.0e8) / (3.0 * MU);
    const double sy =
        (3.0e8 + 2.0e8 * std::pow(dp, 0.5)) * (1.0 + 0.02 * std::log(dp * 1000.0 / 1.0e-6));
    EXPECT_DOUBLE_EQ(h.epeff, dp);
    EXPECT_DOUBLE_EQ(h.sig_y, sy);
    EXPECT_DOUBLE_EQ(h.seqv, sy);
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(h.sd[i], probe.sd[i] * sy / qs) << i;
}

TEST_F(MaterialUpdate, JohnsonCookElasticSeqvIsSinglePrecision) {
    const material m = makemat(4, 1.0e12);
    // Look for an increment whose trial value is not a single-precision number.
    for (int k = 1; k < 50; ++k) {
        const double de[6] = {1.0e-4 * k / 7.0, 0, 0, 0, 0, 3.3e-5};
        history probe = freshhistory(makemat(3, 1e12));
        update(probe, makemat(3, 1e12), de);
        const double q = probe.seqv;
        const double qs = static_cast<double>(static_cast<float>(q));
        if (qs == q) continue;
        history h = freshhistory(m);
        update(h, m, de);
        EXPECT_EQ(h.seqv, qs);
        EXPECT_NE(h.seqv, q);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(h.sd[i], probe.sd[i]);  // the stress keeps full precision
        return;
    }
    FAIL() << "no increment with a non-single-precision trial value";
}

// A trial value above the yield stress whose single-precision rounding is not
// above it: elastic for that step, seqv the rounded trial value, nothing
// non-finite.
TEST_F(MaterialUpdate, JohnsonCookTrialAboveYieldButRoundedNotAbove) {
    for (int k = 1; k < 200; ++k) {
        const double de[6] = {1.0e-3 * k / 37.0, -2.0e-4, 0, 0, 1.1e-4, 0};
        history probe = freshhistory(makemat(3, 1e12));
        update(probe, makemat(3, 1e12), de);
        const double q = probe.seqv;
        const double qs = static_cast<double>(static_cast<float>(q));
        if (!(qs < q)) continue;
        material m = makemat(4, qs);  // yield0 = rounded trial < q
        m.bjc = 1.0e8;
        m.njc = 0.3;
        m.cjc = 0.05;
        history h = freshhistory(m);
        update(h, m, de);
        EXPECT_EQ(h.seqv, qs);
        EXPECT_EQ(h.epeff, 0.0);
        EXPECT_EQ(h.sig_y, qs);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(h.sd[i], probe.sd[i]) << i;
            EXPECT_TRUE(std::isfinite(h.sd[i])) << i;
        }
        return;
    }
    FAIL() << "no increment whose trial value rounds down in single precision";
}

// A plastic increment so slow that the rate term lowers the yield stress:
// below A + B ep^n, and clamped at 0 when it would turn negative (no
// reversal of the deviatoric stress).
TEST_F(MaterialUpdate, JohnsonCookSlowRateLowersYieldStressDownToZero) {
    const double de[6] = {2.0e-3, -1.0e-3, -0.5e-3, 0, 1.0e-3, 0};
    history probe = freshhistory(makemat(3, 1e12));
    update(probe, makemat(3, 1e12), de);
    const double qs = static_cast<double>(static_cast<float>(probe.seqv));
    const double A = 3.0e8, B = 2.0e8, n = 0.5;
    const double dp = (qs - A) / (3.0 * MU);
    simulation::dtk = 1.0;  // rate dp/dtk far below the reference 0.001
    ASSERT_LT(std::log(dp * 1000.0 / simulation::dtk), 0.0);
    {
        material m = makemat(4, A);
        m.bjc = B;
        m.njc = n;
        m.cjc = 0.05;
        history h = freshhistory(m);
        update(h, m, de);
        const double sy = (A + B * std::pow(dp, n)) * (1.0 + 0.05 * std::log(dp * 1000.0));
        EXPECT_GT(sy, 0.0);
        EXPECT_DOUBLE_EQ(h.sig_y, sy);
        EXPECT_LT(h.sig_y, A + B * std::pow(h.epeff, n));
        EXPECT_DOUBLE_EQ(h.seqv, sy);
        EXPECT_GT(h.sd[0] * probe.sd[0], 0.0);  // same sign
    }
    {
        material m = makemat(4, A);
        m.bjc = B;
        m.njc = n;
        m.cjc = 0.5;
        simulation::dtk = 1.0e4;  // 1 + C ln(...) < 0
        ASSERT_LT(1.0 + m.cjc * std::log(dp * 1000.0 / simulation::dtk), 0.0);
        history h = freshhistory(m);
        update(h, m, de);
        EXPECT_EQ(h.sig_y, 0.0);
        EXPECT_EQ(h.seqv, 0.0);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(h.sd[i], 0.0) << i;  // not reversed
        EXPECT_DOUBLE_EQ(h.epeff, dp);
        EXPECT_EQ(h.sm, probe.sm);
    }
}

// -------------------------------------------------------- Jaumann rotation

TEST_F(MaterialUpdate, PureSpinAboutZOnUniaxialStress) {
    const double s = 3.0e8, w3 = 1.0e-3;
    const double zero[6] = {};
    const double spin[3] = {0, 0, w3};
    for (bool jaum : {true, false}) {
        SCOPED_TRACE(jaum ? "jaum on" : "jaum off");
        materialdata::jaum = jaum;
        const material m = makemat(1);
        history h = freshhistory(m);
        h.sm = s / 3.0;
        h.sd[0] = s - h.sm;
        h.sd[1] = h.sd[2] = -h.sm;
        const history before = h;
        simulation::engstrain = 0.0;
        update(h, m, zero, spin);
        EXPECT_DOUBLE_EQ(totalstress(h, 0), s);
        EXPECT_EQ(h.sm, before.sm);
        EXPECT_EQ(h.sd[5], jaum ? -s * w3 : 0.0);
        for (int i = 1; i < 5; ++i) EXPECT_NEAR(totalstress(h, i), 0.0, 1e-7) << i;
        EXPECT_EQ(simulation::engstrain, 0.0);
    }
}

// The six increments are Omega sigma - sigma Omega for a general stress and
// spin (Omega_yz = w1, Omega_xz = w2, Omega_xy = w3).
TEST_F(MaterialUpdate, RotationIncrementIsCommutatorWithSpin) {
    const double s[6] = {1.0e8, -2.0e7, 5.0e7, 3.0e7, -4.0e7, 6.0e7};
    const double w[3] = {2.0e-3, -1.5e-3, 0.7e-3};
    const double sig[3][3] = {{s[0], s[5], s[4]}, {s[5], s[1], s[3]}, {s[4], s[3], s[2]}};
    const double om[3][3] = {{0, w[2], w[1]}, {-w[2], 0, w[0]}, {-w[1], -w[0], 0}};
    double r[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            r[i][j] = 0.0;
            for (int k = 0; k < 3; ++k) r[i][j] += om[i][k] * sig[k][j] - sig[i][k] * om[k][j];
        }
    double rot[6];
    for (int i = 0; i < 6; ++i) rot[i] = s[i];
    double smv, sdv[6];
    materialdata::sigrot(w, rot, smv, sdv);
    const double expect[6] = {s[0] + r[0][0], s[1] + r[1][1], s[2] + r[2][2],
                              s[3] + r[1][2], s[4] + r[0][2], s[5] + r[0][1]};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(rot[i], expect[i], 1e-7) << i;
    EXPECT_DOUBLE_EQ(smv, (rot[0] + rot[1] + rot[2]) / 3.0);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(sdv[i], rot[i] - smv);
    for (int i = 3; i < 6; ++i) EXPECT_EQ(sdv[i], rot[i]);
    // The trace is unchanged by a rotation increment.
    EXPECT_NEAR(r[0][0] + r[1][1] + r[2][2], 0.0, 1e-9);
}

// -------------------------------------------------------- equation of state

namespace {
double c1eosg = 0.0, c2eosg = 0.0, c3eosg = 0.0, c4eosg = 0.0;
void seteoscoefficients(double rho, double c0, double s, double gamma0) {
    c1eosg = rho * (c0 * c0);
    c2eosg = rho * (c0 * c0) * (2.0 * s - 1.0);
    c3eosg = rho * (c0 * c0) * (s - 1.0) * (3.0 * s - 1.0);
    c4eosg = rho * gamma0;
}
// m with the Gruneisen form of the last seteoscoefficients.
void witheos(material& m) {
    m.etype = 1;
    m.c1eos = c1eosg;
    m.c2eos = c2eosg;
    m.c3eos = c3eosg;
    m.c4eos = c4eosg;
}
double gruneisen(double mu, double eng, double den) {
    return -(c4eosg * eng + (1.0 - mu * c4eosg * 0.5 / den) *
                                (c1eosg * mu + c2eosg * (mu * mu) + c3eosg * (mu * mu * mu)));
}
}  // namespace

TEST_F(MaterialUpdate, GruneisenPressureAtZeroAndPositiveCompression) {
    const double rho = 8930.0;
    seteoscoefficients(rho, 3940.0, 1.49, 2.0);
    const double de[6] = {-1.0e-3, -2.0e-3, 0.5e-3, 0, 0, 1.0e-3};
    history probe = freshhistory(makemat(3, 1e12));
    update(probe, makemat(3, 1e12), de);
    for (int mtype = 2; mtype <= 4; ++mtype) {
        SCOPED_TRACE("mtype " + std::to_string(mtype));
        material m = makemat(mtype, 1.0e12, 1.0e9);
        m.density = rho;
        witheos(m);
        {
            // mu = 0: the pressure is that of the step's own energy, the
            // end-of-step energy (time-centred), not of the start of the step.
            history h = freshhistory(m);
            update(h, m, de, nullptr, rho);
            EXPECT_NE(h.eint, 0.0);
            EXPECT_NEAR(h.sm, gruneisen(0.0, h.eint, rho), 1e-9 * std::fabs(h.sm));
            for (int i = 0; i < 6; ++i) EXPECT_EQ(h.sd[i], probe.sd[i]) << i;
        }
        {
            // 5 % compression: the EOS replaces the mean stress.
            const double den = rho * 1.05;
            const double mu = den / rho - 1.0;
            history h = freshhistory(m);
            h.sm = 1.0e9;  // replaced, not incremented
            update(h, m, de, nullptr, den);
            EXPECT_NEAR(h.sm, gruneisen(mu, h.eint, den), 1e-12 * std::fabs(h.sm));
            EXPECT_LT(h.sm, 0.0);  // compression: positive pressure
            // Pressure about rho c0^2 mu to first order.
            EXPECT_NEAR(-h.sm, rho * 3940.0 * 3940.0 * mu, 0.2 * rho * 3940.0 * 3940.0 * mu);
        }
    }
}

TEST_F(MaterialUpdate, ElasticModelIgnoresEquationOfState) {
    seteoscoefficients(7800.0, 4570.0, 1.49, 1.93);
    material m = makemat(1);
    witheos(m);
    const double e = -1.0e-3;
    const double de[6] = {e, e, e, 0, 0, 0};
    history h = freshhistory(m);
    update(h, m, de, nullptr, 7800.0 * 1.003);
    EXPECT_DOUBLE_EQ(h.sm, (e + e + e) / 3.0 * (E / ((1.0 - NU) - NU)));
}

// The element's specific internal energy starts at 0, grows by each step's
// strain energy over (density * vol0), and the equation of state receives
// its end-of-step value: pressure and energy of a step solved together. The
// process's kinetic energy plays no part.
TEST_F(MaterialUpdate, EquationOfStateReceivesElementInternalEnergy) {
    const double rho = 8930.0;
    seteoscoefficients(rho, 3940.0, 1.49, 2.0);
    material m = makemat(3, 1.0e12, 1.0e9);
    m.density = rho;
    witheos(m);
    const double vol0 = 2.0e-3;
    history h = freshhistory(m, vol0);
    EXPECT_EQ(h.eint, 0.0);
    simulation::engkinetic = 1.0e30;

    const double de[6] = {-2.0e-3, -1.0e-3, -1.5e-3, 0, 4.0e-4, 0};
    double eint = 0.0;
    double vol = vol0;
    for (int step = 1; step <= 4; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        vol = vol * (1.0 + de[0] + de[1] + de[2]);
        const double den = rho * vol0 / vol;
        const double mu = den / rho - 1.0;
        const double before = simulation::engstrain;
        update(h, m, de, nullptr, den, vol);
        const double dw = simulation::engstrain - before;
        EXPECT_GT(dw, 0.0);
        eint += dw / (rho * vol0);
        EXPECT_DOUBLE_EQ(h.eint, eint);
        // End-of-step energy; one step late it would miss by c4 dw / m.
        EXPECT_NEAR(h.sm, gruneisen(mu, eint, den), 1e-12 * std::fabs(h.sm));
    }
    EXPECT_GT(h.eint, 0.0);

    // Without an equation of state the field stays 0.
    const material plain = makemat(3, 1.0e12, 1.0e9);
    history p = freshhistory(plain, vol0);
    update(p, plain, de, nullptr, -1.0, vol0);
    EXPECT_NE(simulation::engstrain, 0.0);
    EXPECT_EQ(p.eint, 0.0);
}

// Hardening curves in pure shear against the closed form: power law
// (model 6, A + B ep^n), Voce (model 7, A + B (1 - exp(-n ep))), and with
// "vmis on" and "cons on" Johnson-Cook without its rate term (model 4, and
// model 5 without heating) and linear hardening (model 3, A + H ep). The von
// Mises stress of a shear stress tau is k tau, k = sqrt(3), and a return by
// dp lowers it by 3G dp: on the curve tau = curve(ep) / k and the
// engineering shear strain is gamma = tau / G + 3 ep / k, which the test
// solves for ep by bisection at every step. The return lands on the curve
// whatever the step, so one step and many give the same path.
TEST_F(MaterialUpdate, HardeningCurvesAreFollowedInPureShear) {
    struct Case {
        int mtype;
        double b, n;
        int steps;
    };
    const Case cases[] = {{6, 4.0e8, 0.3, 1},   {6, 4.0e8, 0.3, 40},   {6, 6.0e8, 1.0, 25},
                          {6, 2.0e9, 2.0, 25},  {6, 3.0e8, 0.05, 10},  {6, 0.0, 0.5, 10},
                          {7, 3.0e8, 150.0, 1}, {7, 3.0e8, 150.0, 40}, {7, 3.0e8, 0.0, 10},
                          {7, 5.0e7, 5.0, 25},  {4, 4.0e8, 0.3, 1},    {4, 4.0e8, 0.3, 40},
                          {5, 6.0e8, 0.5, 25},  {3, 2.0e9, 1.0, 1},    {3, 2.0e9, 1.0, 30}};
    const double a = 2.0e8, gmax = 0.02, k = std::sqrt(3.0);
    materialdata::vonmises = materialdata::consistent = true;
    for (const Case& cs : cases) {
        SCOPED_TRACE("model " + std::to_string(cs.mtype) + " " + std::to_string(cs.b) + " " +
                     std::to_string(cs.n) + " steps " + std::to_string(cs.steps));
        material m = makemat(cs.mtype, a);
        (cs.mtype == 7 ? m.vocq : m.bjc) = cs.b;
        (cs.mtype == 7 ? m.vocc : m.njc) = cs.n;
        // Model 5 at room temperature with no heating: no softening.
        m.tmelt = 1000.0;
        m.ratejc = 1.0;
        m.mjc = 1.0;
        m.cpjc = 400.0;
        // Model 3: the plastic modulus E Et / (E - Et) is b.
        if (cs.mtype == 3) m.tangmod = E * cs.b / (E + cs.b);
        const double hmod = cs.mtype == 3 ? E * m.tangmod / (E - m.tangmod) : 0.0;
        history h = freshhistory(m);
        const double dg = gmax / cs.steps;
        const double de[6] = {0, 0, 0, 0, 0, dg};
        const auto curve = [&](double ep) {
            return cs.mtype == 7   ? a + cs.b * (1.0 - std::exp(-cs.n * ep))
                   : cs.mtype == 3 ? a + hmod * ep
                                   : a + cs.b * std::pow(ep, cs.n);
        };
        for (int step = 1; step <= cs.steps; ++step) {
            update(h, m, de);
            const double gamma = dg * step;
            double lo = 0.0, hi = gamma;
            for (int it = 0; it < 200; ++it) {
                const double ep = 0.5 * (lo + hi);
                const double g = curve(ep) / (k * MU) + 3.0 * ep / k;
                (g > gamma ? hi : lo) = ep;
            }
            const bool elastic = k * MU * gamma <= a;
            const double ep = elastic ? 0.0 : 0.5 * (lo + hi);
            const double tau = elastic ? MU * gamma : curve(ep) / k;
            EXPECT_NEAR(h.sd[5], tau, 1e-9 * tau) << "step " << step;
            EXPECT_NEAR(h.epeff, ep, 1e-9 * gmax) << "step " << step;
            if (!elastic) { EXPECT_NEAR(h.seqv, curve(h.epeff), 1e-12 * tau); }
        }
    }
}

// The Johnson-Cook return with its rate term (C > 0): one step of pure
// shear far past yield ends on the yield condition of the step, the stress
// q_trial - 3G dp equal to (A + B ep^n)(1 + C ln(dp / dt / rate0)), at plastic
// rates from below to far above the reference one.
TEST_F(MaterialUpdate, ReturnMeetsTheRateTermOfItsStep) {
    materialdata::vonmises = materialdata::consistent = true;
    const double a = 2.0e8, b = 4.0e8, n = 0.3, k = std::sqrt(3.0), gamma = 0.01;
    for (const int mtype : {4, 5})
        for (const double c : {0.014, 0.1})
            for (const double dt : {1.0e-8, 1.0e-4, 10.0}) {
                SCOPED_TRACE("model " + std::to_string(mtype) + " C " + std::to_string(c) + " dt " +
                             std::to_string(dt));
                material m = makemat(mtype, a);
                m.bjc = b;
                m.njc = n;
                m.cjc = c;
                m.tmelt = 1000.0;
                m.mjc = 1.0;
                m.cpjc = 400.0;
                m.ratejc = 1.0e-3;
                simulation::dtk = dt;
                history h = freshhistory(m);
                const double de[6] = {0, 0, 0, 0, 0, gamma};
                update(h, m, de);
                const double ep = h.epeff, q = k * h.sd[5];
                ASSERT_GT(ep, 0.0);
                const double flow =
                    (a + b * std::pow(ep, n)) * (1.0 + c * std::log(ep / dt / 1.0e-3));
                EXPECT_NEAR(q, flow, 1e-9 * flow);
                EXPECT_NEAR(q, k * MU * gamma - 3.0 * MU * ep, 1e-9 * flow);
            }
}

// Damage coupled to the flow stress: the Johnson-Cook models (john with
// "cons on", jcth) return onto the curve times the record's factor 1 - Dc D,
// and a record without a factor onto the curve itself.
TEST_F(MaterialUpdate, CoupledDamageScalesTheFlowStress) {
    materialdata::consistent = true;
    const double a = 2.0e8, b = 4.0e8, n = 0.3;
    for (const int mtype : {4, 5}) {
        for (const double weaken : {1.0, 0.7}) {
            SCOPED_TRACE("model " + std::to_string(mtype) + " factor " + std::to_string(weaken));
            material m = makemat(mtype, a);
            m.bjc = b;
            m.njc = n;
            m.tmelt = 1000.0;
            m.ratejc = 1.0;
            m.mjc = 1.0;
            m.cpjc = 400.0;
            materialdata::history_list.assign(2, freshhistory(m));
            failuredata::weakening = {1.0, weaken};
            const double de[6] = {0, 0, 0, 0, 0, 2.0e-3};
            for (int step = 0; step < 10; ++step) update(materialdata::history_list[1], m, de);
            const history& h = materialdata::history_list[1];
            EXPECT_GT(h.epeff, 1e-3);
            EXPECT_NEAR(h.seqv, weaken * (a + b * std::pow(h.epeff, n)), 1e-9 * h.seqv);
        }
    }
}

// ----------------------------------------------------------------- failures

TEST_F(MaterialUpdate, InvalidMaterialTypeStopsWithItsLine) {
    struct Case {
        int mtype;
        const char* line;
    };
    const Case cases[] = {
        {0, " *** Stop *** material type  0 has not been implemented !\n"},
        {99, " *** Stop *** material type 99 has not been implemented !\n"},
        {12, " *** Stop *** material type 12 has not been implemented !\n"},
    };
    const double de[6] = {1e-4, 0, 0, 0, 0, 0};
    for (const Case& cs : cases) {
        const material m = makemat(cs.mtype);
        history h = freshhistory(m);
        testing::internal::CaptureStdout();
        EXPECT_THROW(update(h, m, de), errorstop::stop_exception);
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), cs.line);
    }
}

TEST_F(MaterialUpdate, InitHistoryResetsStateButKeepsVolumeAndSeqv) {
    materialdata::history_list.assign(3, history{});
    for (history& h : materialdata::history_list) {
        h.vol0 = 1.5;
        h.sig_y = 2.0;
        h.sm = 3.0;
        h.seqv = 4.0;
        for (double& s : h.sd) s = 5.0;
        h.epeff = 6.0;
        h.eint = 7.0;
    }
    materialdata::lenhistorylist = 3;
    materialdata::inithistory();
    EXPECT_EQ(materialdata::lenhistorylist, 0);
    for (const history& h : materialdata::history_list) {
        EXPECT_EQ(h.vol0, 1.5);
        EXPECT_EQ(h.seqv, 4.0);
        EXPECT_EQ(h.sig_y, 0.0);
        EXPECT_EQ(h.sm, 0.0);
        for (double s : h.sd) EXPECT_EQ(s, 0.0);
        EXPECT_EQ(h.epeff, 0.0);
        EXPECT_EQ(h.eint, 0.0);
    }
}
