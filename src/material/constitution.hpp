// Stress update of one element over one step.
//
// The element's stress is loaded into the working variables, rotated by the
// spin increment (Jaumann rate) when the "jaum" switch is on, advanced by the
// element's material model, stored back into its history record, and the
// strain energy of the step (trapezoidal rule, current volume) is added to the
// process total and, per unit mass, to the element's own internal energy.
// With the Gruneisen equation of state the mean stress is solved together
// with the energy of the step; with bulk viscosity the work of the last
// pass's viscous pressure against this step's volume change is added too.
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

// The factor on the flow stress of the element whose history record is h
// (1 unless its damage is coupled to its stress).
inline double weakening(const history& h) {
    const std::vector<double>& w = failuredata::weakening;
    if (w.empty()) return 1.0;
    const std::ptrdiff_t k = &h - history_list.data();
    return k >= 0 && static_cast<std::size_t>(k) < w.size() ? w[static_cast<std::size_t>(k)] : 1.0;
}

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

    // Work of the bulk viscosity of the last pass against this step's volume
    // change (0 without bulk viscosity).
    const double trde = de[0] + de[1] + de[2];
    const double dwq = bulk.on ? -hist.q * trde * vol : 0.0;
    const double mass = mat.density * hist.vol0;
    // The model's number is its row of the material table (catalog.hpp).
    switch (mat.mtype) {
        case 1: svr1(de); break;
        case 2: svr2(de); break;
        case 3: svr3(de); break;
        case 4: svr4(de, mat, simulation::dtk, weakening(hist)); break;
        case 5: svr5(de, mat, simulation::dtk, den, hist.temp, weakening(hist)); break;
        case 6: svr6(de, mat); break;
        case 7: svr7(de, mat); break;
        default: invalidmaterial(mat.mtype);
    }
    if (etype_ == 1 && mat.mtype != 1) {
        // Energy of the step without the work of the new mean stress.
        double e = e0;
        for (int i = 0; i < 3; ++i) e = e + sd[i] * de[i];
        for (int i = 3; i < 6; ++i) e = e + sd[i] * de[i];
        const double a = 0.5 * vol / mass;
        const double estar = hist.eint + a * e + dwq / mass;
        sm = eos_centred(mat, mu, den, estar, a, trde);
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
    if (bulk.on) simulation::engstrain += dwq;
    // The equation of state reads the element's internal energy; with
    // erosion it is the energy the element takes away.
    if (etype_ == 1 || failuredata::on) hist.eint += (dw + dwq) / mass;
}

}  // namespace materialdata
