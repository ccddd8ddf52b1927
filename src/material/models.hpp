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
// With the Gruneisen equation of state the models update the deviatoric stress
// only; the constitutive update then solves the mean stress and the internal
// energy of the step together (eos_centred).
#pragma once

#include <cmath>

#include "model/model.hpp"

namespace materialdata {

inline void elastic_devi(const double de[6], double s[6], double g2v) {
    const double t = (de[0] + de[1] + de[2]) / 3.0;
    for (int i = 0; i < 3; ++i) s[i] += g2v * (de[i] - t);
    for (int i = 3; i < 6; ++i) s[i] += de[i] * g2v * 0.5;
}

inline void elastic_p(const double de[6], double& smv, double k3v) {
    smv += (de[0] + de[1] + de[2]) / 3.0 * k3v;
}

inline double equivalentstress(const double s[6]) {
    return std::sqrt(
        (s[0] * s[0] + s[1] * s[1] + s[2] * s[2] + s[3] * s[3] + s[4] * s[4] + s[5] * s[5]) * 0.5 *
        3.0);
}

inline void eos_gruneisen(double mu, double eng, double den, double& smv) {
    smv = -(c4eosg * eng + (1.0 - mu * c4eosg * 0.5 / den) *
                               (c1eosg * mu + c2eosg * (mu * mu) + c3eosg * (mu * mu * mu)));
}

// Mean stress of the Gruneisen form, time-centred: p is linear in the
// specific internal energy e, p = pc + c4 e, and the energy at the end of the
// step is e = estar + a p tr(de) (estar the energy with every work term of the
// step but that of the new mean stress, a = vol / 2 m), so both come from
// p (1 + c4 a tr(de)) = pc + c4 estar.
inline double eos_centred(double mu, double den, double estar, double a, double trde) {
    const double pc = (1.0 - mu * c4eosg * 0.5 / den) *
                      (c1eosg * mu + c2eosg * (mu * mu) + c3eosg * (mu * mu * mu));
    return -(c4eosg * estar + pc) / (1.0 + c4eosg * a * trde);
}

// Dilatational wave speed of the Gruneisen form at density den (mu = den /
// den0 - 1) and pressure p: (K_s + 4G/3) / rho with the isentropic modulus
// K_s = rho dp/drho at constant e + (p / rho) dp/de; 0 when not positive.
inline double eos_wavespeed(double mu, double den, double den0, double p, double g2v) {
    const double f = c1eosg * mu + c2eosg * (mu * mu) + c3eosg * (mu * mu * mu);
    const double df = c1eosg + 2.0 * c2eosg * mu + 3.0 * c3eosg * (mu * mu);
    const double g = 1.0 - mu * c4eosg * 0.5 / den;
    const double dg = -0.5 * c4eosg * den0 / (den * den);
    const double ks = den / den0 * (g * df + f * dg) + p * c4eosg / den;
    const double c2 = (ks + 2.0 / 3.0 * g2v) / den;
    return c2 > 0.0 ? std::sqrt(c2) : 0.0;
}

// Elastic deviatoric step and, without an equation of state, the mean
// stress; returns the trial equivalent stress.
inline double trialstep(const double de[6]) {
    elastic_devi(de, sd, g2);
    if (etype_ != 1) elastic_p(de, sm, k3);
    return equivalentstress(sd);
}

inline void svr1(const double de[6]) {
    elastic_devi(de, sd, g2);
    elastic_p(de, sm, k3);
    seqv = equivalentstress(sd);
}

inline void svr2(const double de[6]) {
    const double q = trialstep(de);
    if (yield0_ >= q) {
        seqv = q;
    } else {
        const double r = yield0_ / q;
        for (int i = 0; i < 6; ++i) sd[i] = sd[i] * r;
        seqv = q * r;
    }
}

inline void svr3(const double de[6]) {
    const double q = trialstep(de);
    if (sig_y_ >= q) {
        seqv = q;
    } else {
        const double dp = (q - sig_y_) / (1.5 * g2 + plamod);
        epeff_ += dp;
        sig_y_ += plamod * dp;
        const double r = sig_y_ / q;
        for (int i = 0; i < 6; ++i) sd[i] = sd[i] * r;
        seqv = q * r;
    }
}

inline void svr4(const double de[6], const material& mat, double dtk) {
    const double q = trialstep(de);
    // The trial value is carried on in single precision.
    const double qs = static_cast<double>(static_cast<float>(q));
    // A trial value above the yield stress whose single-precision rounding is
    // not above it is treated as elastic: there is no plastic step to size.
    if (sig_y_ >= q || !(qs > sig_y_)) {
        seqv = qs;
    } else {
        const double dp = (qs - sig_y_) / (1.5 * g2 + plamod);
        epeff_ += dp;
        sig_y_ = (yield0_ + mat.bjc * std::pow(epeff_, mat.njc)) *
                 (1.0 + mat.cjc * std::log(dp * 1000.0 / dtk));
        // A strongly negative rate term would give a negative yield stress and
        // reverse the deviatoric stress; the yield stress stops at zero.
        if (sig_y_ < 0.0) sig_y_ = 0.0;
        const double r = sig_y_ / qs;
        for (int i = 0; i < 6; ++i) sd[i] = sd[i] * r;
        seqv = qs * r;
    }
}

// Thermal softening factor 1 - T*^m at temperature t.
inline double thermalfactor(const material& mat, double t) {
    double ts = (t - mat.troom) / (mat.tmelt - mat.troom);
    if (ts < 0.0) ts = 0.0;
    if (ts > 1.0) ts = 1.0;
    return 1.0 - std::pow(ts, mat.mjc);
}

// Johnson-Cook with thermal softening: the yield stress of svr4 with the rate
// referred to mat.ratejc and times the softening factor at the temperature
// of the start of the step; the plastic work of the step per unit volume,
// dp times the mean of the yield stresses before and after it (the
// trapezoid, as the strain energy is summed), raises the temperature by beta
// of it over rho cp.
inline void svr5(const double de[6], const material& mat, double dtk, double den, double& temp) {
    const double q = trialstep(de);
    if (sig_y_ >= q) {
        seqv = q;
        return;
    }
    const double soft = thermalfactor(mat, temp);
    const double dp = (q - sig_y_) / (1.5 * g2 + plamod);
    const double sig_y_old = sig_y_;
    epeff_ += dp;
    double rate = 1.0 + mat.cjc * std::log(dp / dtk / mat.ratejc);
    // A strongly negative rate term stops the yield stress at zero, as in svr4.
    if (rate < 0.0) rate = 0.0;
    sig_y_ = (yield0_ + mat.bjc * std::pow(epeff_, mat.njc)) * rate * soft;
    const double r = sig_y_ / q;
    for (int i = 0; i < 6; ++i) sd[i] = sd[i] * r;
    seqv = q * r;
    temp += mat.betajc * (0.5 * (sig_y_old + sig_y_)) * dp / (den * mat.cpjc);
}

// The trial stress of the step; elastic up to the current yield stress,
// else a radial return onto a hardening curve: the plastic strain increment
// dp solves
//     f(dp) = q - 3G dp - curve(epeff + dp) = 0,
// the trial stress brought back onto the curve at the end of the step, so
// the stress-strain path lies on the curve whatever the step. The curve
// rises with the plastic strain, so f falls with dp, f(0) > 0 and
// f((q - sig_y) / 3G) <= 0: Newton's steps (slope: the curve's derivative)
// are kept inside that bracket, halving it when one leaves it.
template <class Curve, class Slope>
inline void returnontocurve(const double de[6], const Curve& curve, const Slope& slope) {
    const double q = trialstep(de);
    if (sig_y_ >= q) {
        seqv = q;
        return;
    }
    const double g3 = 1.5 * g2;
    double lo = 0.0, hi = (q - sig_y_) / g3;
    double dp = hi;
    for (int it = 0; it < 100; ++it) {
        const double ep = epeff_ + dp;
        const double f = q - g3 * dp - curve(ep);
        if (f > 0.0) {
            lo = dp;
        } else {
            hi = dp;
        }
        double next = dp + f / (g3 + slope(ep));
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (next == dp || !(hi - lo > 1.0e-15 * hi)) break;
        dp = next;
    }
    epeff_ += dp;
    sig_y_ = curve(epeff_);
    const double r = sig_y_ / q;
    for (int i = 0; i < 6; ++i) sd[i] = sd[i] * r;
    seqv = q * r;
}

// Power-law hardening: yield stress A + B epeff^n (yield0_, mat.bjc, mat.njc).
inline void svr6(const double de[6], const material& mat) {
    returnontocurve(
        de, [&mat](double ep) { return yield0_ + mat.bjc * std::pow(ep, mat.njc); },
        // The slope is 0 for n = 0 whatever epeff.
        [&mat](double ep) {
            return mat.njc == 0.0 ? 0.0 : mat.bjc * mat.njc * std::pow(ep, mat.njc - 1.0);
        });
}

// Voce hardening, saturating: yield stress A + Q (1 - exp(-C epeff))
// (yield0_, mat.vocq, mat.vocc), rising from A towards A + Q.
inline void svr7(const double de[6], const material& mat) {
    returnontocurve(
        de, [&mat](double ep) { return yield0_ + mat.vocq * (1.0 - std::exp(-mat.vocc * ep)); },
        [&mat](double ep) { return mat.vocq * mat.vocc * std::exp(-mat.vocc * ep); });
}

}  // namespace materialdata
