// Stress update of one element over one step.
//
// The element's stress is loaded into the working variables, rotated by the
// spin increment (Jaumann rate) when the "jaum" switch is on, advanced by the
// element's material model, stored back into its history record, and the
// strain energy of the step (trapezoidal rule, current volume) is added to the
// process total and, per unit mass, to the element's own internal energy.
#pragma once

#include "material/models.hpp"
#include "model/model.hpp"

namespace materialdata {

inline void sigrot(const double vort[3], double s[6], double& smv, double sdv[6]) {
    const double w1 = vort[0], w2 = vort[1], w3 = vort[2];
    const double s1 = s[0], s2 = s[1], s3 = s[2], s4 = s[3], s5 = s[4], s6 = s[5];
    const double r1 = 2.0 * s6 * w3 + 2.0 * s5 * w2;
    const double r2 = 2.0 * s4 * w1 - 2.0 * s6 * w3;
    const double r3 = -2.0 * s5 * w2 - 2.0 * s4 * w1;
    const double r4 = (s3 - s2) * w1 - w2 * s6 - w3 * s5;
    const double r5 = w3 * s4 + (s3 - s1) * w2 - w1 * s6;
    const double r6 = w1 * s5 + (s2 - s1) * w3 + w2 * s4;
    s[0] += r1;
    s[1] += r2;
    s[2] += r3;
    s[3] += r4;
    s[4] += r5;
    s[5] += r6;
    sdv[3] = s[3];
    sdv[4] = s[4];
    sdv[5] = s[5];
    smv = (s[0] + s[1] + s[2]) / 3.0;
    for (int i = 0; i < 3; ++i) sdv[i] = s[i] - smv;
}

// Writes the invalid-material line and stops.
[[noreturn]] void invalidmaterial(int mtype);

void inithistory();

inline void constitution(const double de[6], const double vort[3], double den, history& hist,
                         const material& mat, double vol) {
    epeff_ = hist.epeff;
    sig_y_ = hist.sig_y;
    etype_ = mat.etype;
    young_ = mat.young;
    den0_ = mat.density;
    poisson_ = mat.poisson;
    yield0_ = mat.yield0;
    tangmod_ = mat.tangmod;
    for (int i = 0; i < 6; ++i) sd[i] = hist.sd[i];
    sm = hist.sm;

    const double mu = den / den0_ - 1.0;
    g2 = young_ / (1.0 + poisson_);
    k3 = young_ / ((1.0 - poisson_) - poisson_);
    plamod = mat.young * tangmod_ / (young_ - tangmod_);

    for (int i = 0; i < 3; ++i) sig[i] = sd[i] + sm;
    for (int i = 3; i < 6; ++i) sig[i] = sd[i];
    if (jaum) sigrot(vort, sig, sm, sd);

    double e0 = 0.0;
    for (int i = 0; i < 6; ++i) e0 = e0 + sig[i] * de[i];

    // Specific internal energy at the start of the step, for the equation of state.
    const double eng = hist.eint;
    switch (mat.mtype) {
        case 1: svr1(de); break;
        case 2: svr2(de, den, mu, eng); break;
        case 3: svr3(de, den, mu, eng); break;
        case 4: svr4(de, den, mu, eng, mat, simulation::dtk); break;
        default: invalidmaterial(mat.mtype);
    }

    hist.sm = sm;
    hist.seqv = seqv;
    for (int i = 0; i < 6; ++i) hist.sd[i] = sd[i];
    hist.sig_y = sig_y_;
    hist.epeff = epeff_;

    double e1 = e0;
    for (int i = 0; i < 3; ++i) e1 = e1 + (sd[i] + sm) * de[i];
    for (int i = 3; i < 6; ++i) e1 = e1 + sd[i] * de[i];
    const double dw = 0.5 * vol * e1;
    simulation::engstrain += dw;
    // Only the equation of state reads the element's internal energy.
    if (etype_ == 1) hist.eint += dw / (mat.density * hist.vol0);
}

}  // namespace materialdata
