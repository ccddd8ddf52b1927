// Material models of the stress update.
//
// The models work on the working variables of `materialdata` (deviatoric
// stress sd, mean stress sm, equivalent stress seqv, current yield stress
// sig_y_, effective plastic strain epeff_, and the moduli g2 = 2G, k3 = 3K,
// plamod) that the constitutive update has loaded for one element.
//   svr1  linear elastic (always the elastic volume law)
//   svr2  elastic-perfectly plastic, radial scaling onto the yield surface
//   svr3  linear isotropic hardening, radial return
//   svr4  Johnson-Cook yield stress with a strain-rate term
//   svr5  svr4 with its own reference strain rate and thermal softening by
//         the element's temperature, raised by the heat of the plastic work
//   svr6  power-law hardening A + B epeff^n, radial return onto the curve
//   svr7  Voce hardening A + Q (1 - exp(-C epeff)), the same return
// svr1 to svr4 weigh the shear components of the equivalent stress as the
// "vmis" switch says; svr5 to svr7 take the von Mises stress always. With
// "cons on" svr4 returns onto its curve as svr5 does and svr2 records its
// plastic strain.
// With the Gruneisen equation of state the models update the deviatoric stress
// only; the constitutive update then solves the mean stress and the internal
// energy of the step together (eos_centred).
#pragma once

#include <cmath>

#include "model/model.hpp"
#include "numerics/ownmath.hpp"

namespace materialdata {

// pow, log and exp of the models: libm's, or with "math on" the solver's own.
inline double mpow(double x, double y) { return solvermath ? ownmath::pow(x, y) : std::pow(x, y); }
inline double mlog(double x) { return solvermath ? ownmath::log(x) : std::log(x); }
inline double mexp(double x) { return solvermath ? ownmath::exp(x) : std::exp(x); }

inline void elastic_devi(const double de[6], double s[6], double g2v) {
    const double t = (de[0] + de[1] + de[2]) / 3.0;
    for (int i = 0; i < 3; ++i) s[i] += g2v * (de[i] - t);
    for (int i = 3; i < 6; ++i) s[i] += de[i] * g2v * 0.5;
}

inline void elastic_p(const double de[6], double& smv, double k3v) {
    smv += (de[0] + de[1] + de[2]) / 3.0 * k3v;
}

// Equivalent stress with each of the six components counted once: the
// shear components weigh 1.5, so the value depends on how the stress is
// turned to the axes (elas, pla1, pla2 and john without "vmis on").
inline double equivalentstress(const double s[6]) {
    return std::sqrt(
        (s[0] * s[0] + s[1] * s[1] + s[2] * s[2] + s[3] * s[3] + s[4] * s[4] + s[5] * s[5]) * 0.5 *
        3.0);
}

// von Mises equivalent stress sqrt(3/2 s:s): each shear component appears
// twice in s:s, so a pure shear tau gives sqrt(3) |tau| whatever the frame.
inline double vonmisesstress(const double s[6]) {
    return std::sqrt((s[0] * s[0] + s[1] * s[1] + s[2] * s[2] +
                      2.0 * (s[3] * s[3] + s[4] * s[4] + s[5] * s[5])) *
                     0.5 * 3.0);
}

// The equivalent stress of elas, pla1, pla2 and john: von Mises with "vmis on".
inline double modelstress(const double s[6]) {
    return vonmises ? vonmisesstress(s) : equivalentstress(s);
}

// Mean stress of the Gruneisen form of material m.
inline void eos_gruneisen(const material& m, double mu, double eng, double den, double& smv) {
    smv = -(m.c4eos * eng + (1.0 - mu * m.c4eos * 0.5 / den) *
                                (m.c1eos * mu + m.c2eos * (mu * mu) + m.c3eos * (mu * mu * mu)));
}

// Mean stress of the Gruneisen form, time-centred: p is linear in the
// specific internal energy e, p = pc + c4 e, and the energy at the end of the
// step is e = estar + a p tr(de) (estar the energy with every work term of the
// step but that of the new mean stress, a = vol / 2 m), so both come from
// p (1 + c4 a tr(de)) = pc + c4 estar.
inline double eos_centred(const material& m, double mu, double den, double estar, double a,
                          double trde) {
    const double pc = (1.0 - mu * m.c4eos * 0.5 / den) *
                      (m.c1eos * mu + m.c2eos * (mu * mu) + m.c3eos * (mu * mu * mu));
    return -(m.c4eos * estar + pc) / (1.0 + m.c4eos * a * trde);
}

// Dilatational wave speed of the Gruneisen form at density den (mu = den /
// den0 - 1) and pressure p: (K_s + 4G/3) / rho with the isentropic modulus
// K_s = rho dp/drho at constant e + (p / rho) dp/de; 0 when not positive.
inline double eos_wavespeed(const material& m, double mu, double den, double den0, double p,
                            double g2v) {
    const double f = m.c1eos * mu + m.c2eos * (mu * mu) + m.c3eos * (mu * mu * mu);
    const double df = m.c1eos + 2.0 * m.c2eos * mu + 3.0 * m.c3eos * (mu * mu);
    const double g = 1.0 - mu * m.c4eos * 0.5 / den;
    const double dg = -0.5 * m.c4eos * den0 / (den * den);
    const double ks = den / den0 * (g * df + f * dg) + p * m.c4eos / den;
    const double c2 = (ks + 2.0 / 3.0 * g2v) / den;
    return c2 > 0.0 ? std::sqrt(c2) : 0.0;
}

// Elastic deviatoric step and, without an equation of state, the mean
// stress; returns the trial equivalent stress, von Mises when `vm`.
inline double trialstep(const double de[6], bool vm) {
    elastic_devi(de, sd, g2);
    if (etype_ != 1) elastic_p(de, sm, k3);
    return vm ? vonmisesstress(sd) : equivalentstress(sd);
}

inline void svr1(const double de[6]) {
    elastic_devi(de, sd, g2);
    elastic_p(de, sm, k3);
    seqv = modelstress(sd);
}

// Radial scaling of the deviatoric stress from the trial value q onto the
// yield stress sig_y_.
inline void scaletoyield(double q) {
    const double r = sig_y_ / q;
    for (int i = 0; i < 6; ++i) sd[i] = sd[i] * r;
    seqv = q * r;
}

// With "cons on" the radial scaling of a perfectly plastic step records its
// plastic strain, the trial excess over 3G.
inline void svr2(const double de[6]) {
    const double q = trialstep(de, vonmises);
    if (yield0_ >= q) {
        seqv = q;
    } else {
        if (consistent) epeff_ += (q - yield0_) / (1.5 * g2);
        const double r = yield0_ / q;
        for (int i = 0; i < 6; ++i) sd[i] = sd[i] * r;
        seqv = q * r;
    }
}

inline void svr3(const double de[6]) {
    const double q = trialstep(de, vonmises);
    if (sig_y_ >= q) {
        seqv = q;
    } else {
        const double dp = (q - sig_y_) / (1.5 * g2 + plamod);
        epeff_ += dp;
        sig_y_ += plamod * dp;
        scaletoyield(q);
    }
}

// The plastic increment of a radial return from the trial value q (above the
// current yield stress sy) onto a yield stress y(dp) that rises with the
// increment: the root of
//     f(dp) = q - 3G dp - y(dp),
// the trial stress brought back onto the yield stress the step ends at, so
// the stress-strain path lies on the curve whatever the step. `yield(dp,
// slope)` returns y(dp) and sets its derivative. f falls with dp and f(0+) >
// 0; the bracket starts at (q - sy) / 3G and widens to q / 3G (where f =
// -y <= 0) when f is still positive there, as a rate term can make it.
// Newton's steps are kept inside the bracket, halving it when one leaves it.
template <class Yield>
inline double plasticincrement(double q, double sy, double g3, const Yield& yield) {
    double lo = 0.0, hi = (q - sy) / g3;
    double dp = hi;
    for (int it = 0; it < 100; ++it) {
        double slope = 0.0;
        const double f = q - g3 * dp - yield(dp, slope);
        if (f > 0.0) {
            lo = dp;
            if (hi == dp) hi = q / g3;
        } else {
            hi = dp;
        }
        double next = dp + f / (g3 + slope);
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (next == dp || !(hi - lo > 1.0e-15 * hi)) break;
        dp = next;
    }
    return dp;
}

// The Johnson-Cook yield stress at the end of a plastic increment dp from
// the plastic strain ep0 over the step dtk: (A + B (ep0 + dp)^n) (1 + C ln(dp
// / dtk / rate0)) times the thermal factor `soft`, and its slope in dp; the
// rate term stops at 0 (a very slow increment leaves no yield stress, never a
// negative one).
inline double jcyield(const material& mat, double ep0, double dp, double dtk, double rate0,
                      double soft, double& slope) {
    const double ep = ep0 + dp;
    // With "math on" both powers come from one logarithm (the same bits).
    double pn = 0.0, pn1 = 0.0;
    if (solvermath) ownmath::powpair(ep, mat.njc, mat.njc - 1.0, pn, pn1);
    const double h = mat.yield0 + mat.bjc * (solvermath ? pn : std::pow(ep, mat.njc));
    const double dh =
        mat.njc == 0.0 ? 0.0 : mat.bjc * mat.njc * (solvermath ? pn1 : std::pow(ep, mat.njc - 1.0));
    const double rate = 1.0 + mat.cjc * mlog(dp / dtk / rate0);
    if (!(rate > 0.0)) {
        slope = 0.0;
        return 0.0;
    }
    slope = (dh * rate + h * mat.cjc / dp) * soft;
    return h * rate * soft;
}

// Johnson-Cook return of a trial value q above the yield stress sy, from the
// plastic strain ep0, with 3G = g3: sets the plastic increment dp and
// returns the yield stress the step ends at.
inline double jcreturn(const material& mat, double q, double sy, double ep0, double g3, double dtk,
                       double rate0, double soft, double& dp) {
    dp = plasticincrement(q, sy, g3, [&](double d, double& slope) {
        return jcyield(mat, ep0, d, dtk, rate0, soft, slope);
    });
    double slope = 0.0;
    return jcyield(mat, ep0, dp, dtk, rate0, soft, slope);
}

// Johnson-Cook. With "cons on" the plastic increment solves the yield
// condition on the hardening curve with the rate term of the step (reference
// rate 1e-3); without it the increment is sized by the linear plastic
// modulus and the trial value carried on in single precision.
inline void svr4(const double de[6], const material& mat, double dtk, double weaken = 1.0) {
    const double q = trialstep(de, vonmises);
    if (consistent) {
        if (sig_y_ >= q) {
            seqv = q;
            return;
        }
        double dp = 0.0;
        sig_y_ = jcreturn(mat, q, sig_y_, epeff_, 1.5 * g2, dtk, 1.0e-3, weaken, dp);
        epeff_ += dp;
        scaletoyield(q);
        return;
    }
    const double qs = static_cast<double>(static_cast<float>(q));
    // A trial value above the yield stress whose single-precision rounding is
    // not above it is treated as elastic: there is no plastic step to size.
    if (sig_y_ >= q || !(qs > sig_y_)) {
        seqv = qs;
    } else {
        const double dp = (qs - sig_y_) / (1.5 * g2 + plamod);
        epeff_ += dp;
        sig_y_ =
            (yield0_ + mat.bjc * mpow(epeff_, mat.njc)) * (1.0 + mat.cjc * mlog(dp * 1000.0 / dtk));
        if (weaken != 1.0) sig_y_ = sig_y_ * weaken;
        // A strongly negative rate term would give a negative yield stress and
        // reverse the deviatoric stress; the yield stress stops at zero.
        if (sig_y_ < 0.0) sig_y_ = 0.0;
        scaletoyield(qs);
    }
}

// Thermal softening factor 1 - T*^m at temperature t.
inline double thermalfactor(const material& mat, double t) {
    double ts = (t - mat.troom) / (mat.tmelt - mat.troom);
    if (ts < 0.0) ts = 0.0;
    if (ts > 1.0) ts = 1.0;
    return 1.0 - mpow(ts, mat.mjc);
}

// The return of svr5 from the trial value q above the yield stress sy, with
// 3G = g3, at density den: sets the plastic strain ep and the temperature
// temp the step ends at and returns the yield stress (the scalar and the
// batched element pass share it).
inline double jcthreturn(const material& mat, double q, double sy, double g3, double dtk,
                         double den, double weaken, double& ep, double& temp) {
    const double soft = thermalfactor(mat, temp) * weaken;
    double dp = 0.0;
    const double sy1 = jcreturn(mat, q, sy, ep, g3, dtk, mat.ratejc, soft, dp);
    ep += dp;
    temp += mat.betajc * (0.5 * (sy + sy1)) * dp / (den * mat.cpjc);
    return sy1;
}

// Johnson-Cook with thermal softening: von Mises trial stress, returned onto
// the yield stress of svr4 with the rate referred to mat.ratejc and times the
// softening factor at the temperature of the start of the step; the plastic
// work of the step per unit volume, dp times the mean of the yield stresses
// before and after it (the trapezoid, as the strain energy is summed), raises
// the temperature by beta of it over rho cp.
inline void svr5(const double de[6], const material& mat, double dtk, double den, double& temp,
                 double weaken = 1.0) {
    const double q = trialstep(de, true);
    if (sig_y_ >= q) {
        seqv = q;
        return;
    }
    sig_y_ = jcthreturn(mat, q, sig_y_, 1.5 * g2, dtk, den, weaken, epeff_, temp);
    scaletoyield(q);
}

// Hardening curves of the plastic strain alone, and their slopes.
// Power law: yield stress A + B epeff^n (mat.yield0, mat.bjc, mat.njc); the
// slope is 0 for n = 0 whatever epeff.
inline double powercurve(const material& mat, double ep) {
    return mat.yield0 + mat.bjc * mpow(ep, mat.njc);
}
inline double powerslope(const material& mat, double ep) {
    return mat.njc == 0.0 ? 0.0 : mat.bjc * mat.njc * mpow(ep, mat.njc - 1.0);
}
// Voce, saturating: yield stress A + Q (1 - exp(-C epeff)) (mat.yield0,
// mat.vocq, mat.vocc), rising from A towards A + Q.
inline double vocecurve(const material& mat, double ep) {
    return mat.yield0 + mat.vocq * (1.0 - mexp(-mat.vocc * ep));
}
inline double voceslope(const material& mat, double ep) {
    return mat.vocq * mat.vocc * mexp(-mat.vocc * ep);
}

// Radial return from the trial value q above the yield stress sy, with
// 3G = g3, onto a hardening curve of the plastic strain alone: sets the
// plastic strain ep the step ends at and returns the yield stress there.
template <class Curve, class Slope>
inline double curvereturn(double q, double sy, double g3, double& ep, const Curve& curve,
                          const Slope& slope) {
    const double ep0 = ep;
    const double dp = plasticincrement(q, sy, g3, [&](double d, double& s) {
        const double e = ep0 + d;
        s = slope(e);
        return curve(e);
    });
    ep += dp;
    return curve(ep);
}

// The return of svr6 (mtype 6) or svr7 (otherwise).
inline double hardeningreturn(const material& mat, double q, double sy, double g3, double& ep) {
    if (mat.mtype == 6)
        return curvereturn(
            q, sy, g3, ep, [&mat](double e) { return powercurve(mat, e); },
            [&mat](double e) { return powerslope(mat, e); });
    return curvereturn(
        q, sy, g3, ep, [&mat](double e) { return vocecurve(mat, e); },
        [&mat](double e) { return voceslope(mat, e); });
}

// von Mises trial stress; elastic up to the current yield stress, else a
// radial return onto the hardening curve of svr6 or svr7.
inline void returnontocurve(const double de[6], const material& mat) {
    const double q = trialstep(de, true);
    if (sig_y_ >= q) {
        seqv = q;
        return;
    }
    sig_y_ = hardeningreturn(mat, q, sig_y_, 1.5 * g2, epeff_);
    scaletoyield(q);
}

// Power-law hardening: yield stress A + B epeff^n.
inline void svr6(const double de[6], const material& mat) { returnontocurve(de, mat); }

// Voce hardening: yield stress A + Q (1 - exp(-C epeff)).
inline void svr7(const double de[6], const material& mat) { returnontocurve(de, mat); }

}  // namespace materialdata
