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
// svr2-svr4 take the mean stress from the Gruneisen equation of state when the
// material has one.
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

// Elastic deviatoric step and the mean stress; returns the trial
// equivalent stress.
inline double trialstep(const double de[6], double den, double mu, double eng) {
    elastic_devi(de, sd, g2);
    if (etype_ == 1)
        eos_gruneisen(mu, eng, den, sm);
    else
        elastic_p(de, sm, k3);
    return equivalentstress(sd);
}

inline void svr1(const double de[6]) {
    elastic_devi(de, sd, g2);
    elastic_p(de, sm, k3);
    seqv = equivalentstress(sd);
}

inline void svr2(const double de[6], double den, double mu, double eng) {
    const double q = trialstep(de, den, mu, eng);
    if (yield0_ >= q) {
        seqv = q;
    } else {
        const double r = yield0_ / q;
        for (int i = 0; i < 6; ++i) sd[i] = sd[i] * r;
        seqv = q * r;
    }
}

inline void svr3(const double de[6], double den, double mu, double eng) {
    const double q = trialstep(de, den, mu, eng);
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

inline void svr4(const double de[6], double den, double mu, double eng, const material& mat,
                 double dtk) {
    const double q = trialstep(de, den, mu, eng);
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

}  // namespace materialdata
