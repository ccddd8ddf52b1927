// The element pass on batches of W consecutive elements, one element per
// SIMD lane.
//
// Included only by the width files feforce_<width>.cpp, each compiled for its
// own instruction set, which define before the include:
//   W        lanes per batch
//   vd       W doubles (GCC vector extension)
//   vm       W 64-bit integers, the result type of comparisons of vd
//   vf       W floats
//   vsqrt    lane-wise square root (correctly rounded, as std::sqrt)
// and, where the instruction set has gathers, HEXDYN_BATCH_GATHER with
//   vi       W 32-bit integers
//   gatheri  lane l of the result = base[idx[l]], integers
//   gatherd  lane l of the result = base[idx[l]], doubles
// (node numbers below 2^31 / 3), and where it has scatters,
// HEXDYN_BATCH_SCATTER with
//   scatterd base[idx[l]] = lane l of x, doubles (distinct indices).
// Everything here has internal linkage (anonymous namespace), so no inline
// function compiled for a wide instruction set can be merged by the linker
// with a baseline copy of the same name. Nothing here calls an inline
// function of another header: only its tables are used.
//
// Every lane performs the operations of the scalar kernels (geometry.hpp,
// timestep.hpp, constitution.hpp, models.hpp, forces.hpp) in the same order,
// written out once more for lanes; where the scalar code branches per
// element, both sides are computed and each lane takes its own. pow and log
// are libm's, called lane by lane, in tight loops over the lanes of a block
// of batches (runblock); with "math on" (p.math) they are the solver's own
// (numerics/ownmath.hpp, internal linkage, so this file compiles its own
// copy for its instruction set) computed in the lanes, and the returns onto
// the hardening curves that run lane by lane call their scalar form, the
// same bits. Everything that adds into the process's running
// values (nodal forces, strain energy, step and distortion minima) goes lane
// after lane in element order.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>

#include "element/elementpass.hpp"
#include "element/forces.hpp"
#include "element/timestep.hpp"
#include "material/catalog.hpp"
#include "model/model.hpp"
#include "numerics/ownmath.hpp"

namespace {

inline vd splat(double x) {
    vd r;
    for (int l = 0; l < W; ++l) r[l] = x;
    return r;
}

inline vd vabs(vd x) {
    vm bits;
    std::memcpy(&bits, &x, sizeof x);
    bits &= (vm{} + 0x7fffffffffffffffLL);
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// Rounded to single precision and widened again, lane by lane.
inline vd tofloat(vd x) { return __builtin_convertvector(__builtin_convertvector(x, vf), vd); }

inline bool anyof(vm m) {
    for (int l = 0; l < W; ++l)
        if (m[l]) return true;
    return false;
}

// History records of the lanes, loaded into lanes and stored back.
struct stress {
    vd sd[6], sm, seqv, sig_y, epeff, vol0;
    vd eint, q;  // internal energy, bulk viscosity of the last pass
    vd temp;     // temperature (jcth only)
};

// Lanes of one batch between the two stages of a block (see runblock).
// Arrays as in the scalar kernels, each entry W lanes.
struct batch {
    bool lanes;         // false: the batch goes the scalar way
    int hist[W];        // history records (0-based)
    const material* m;  // the lanes' material
    vd xyz[8][3], v[8][3];
    vd vol, ijac[3][3];
    vd de[6], vort[3], pkxj[4][3];
    vd rho;
    vd len, ratio;  // element lengths and distortion ratios
    vd dte;         // element steps, from the second stage on
    vd cs;          // wave speeds of the steps
    stress s;       // stress update, written back in the second stage
    vd e0;          // strain energy term of the stress at the start
    // Johnson-Cook plastic step: lanes that yield, the single-precision trial
    // value, the arguments and results of pow and log.
    // With "cons on", hard is the yield stress the return ends at and the
    // plastic strain is updated in that stage.
    vm plastic;
    vd qs, rate, hard, lograte;
    vd weak;    // flow-stress factor of coupled damage (1 without)
    double g3;  // 3G of the material
    vd vpow;    // hourglass volume factor V^(2/3)
};

// ------------------------------------------------------------------ gather

inline void gatherbatch(const elementpass& p, int e0, batch& b) {
#ifdef HEXDYN_BATCH_GATHER
    // Node numbers of corner k of the W elements (records sizeof(element)
    // apart), then the coordinates and velocities at those nodes.
    static_assert(sizeof(element) % sizeof(int) == 0);
    vi stride;
    for (int l = 0; l < W; ++l) stride[l] = l * static_cast<int>(sizeof(element) / sizeof(int));
    const int* node0 = p.elist[e0].node;
    for (int k = 0; k < 8; ++k) {
        const vi at = (gatheri(node0 + k, stride) - 1) * 3;
        for (int j = 0; j < 3; ++j) {
            b.xyz[k][j] = gatherd(p.pos + j, at);
            b.v[k][j] = gatherd(p.vel + j, at);
        }
    }
#else
    for (int l = 0; l < W; ++l) {
        const int* node = p.elist[e0 + l].node;
        for (int k = 0; k < 8; ++k) {
            const size_t n = 3 * static_cast<size_t>(node[k] - 1);
            for (int j = 0; j < 3; ++j) {
                b.xyz[k][j][l] = p.pos[n + j];
                b.v[k][j][l] = p.vel[n + j];
            }
        }
    }
#endif
}

// ---------------------------------------------------------------- geometry

// jacobian and innve of geometry.hpp.
inline void jacobianbatch(const vd xyz[8][3], vd& vol, vd ijac[3][3]) {
    vd jac[3][3];
    for (int j = 0; j < 3; ++j) {
        const vd x17 = xyz[6][j] - xyz[0][j];
        const vd x28 = xyz[7][j] - xyz[1][j];
        const vd x35 = xyz[4][j] - xyz[2][j];
        const vd x46 = xyz[5][j] - xyz[3][j];
        jac[0][j] = (x17 - x28 - x35 + x46) * 0.125;
        jac[1][j] = (x17 + x28 - x35 - x46) * 0.125;
        jac[2][j] = (x17 + x28 + x35 + x46) * 0.125;
    }
    const vd a11 = jac[0][0], a12 = jac[0][1], a13 = jac[0][2];
    const vd a21 = jac[1][0], a22 = jac[1][1], a23 = jac[1][2];
    const vd a31 = jac[2][0], a32 = jac[2][1], a33 = jac[2][2];
    const vd det = a11 * a22 * a33 + a12 * a23 * a31 + a13 * a21 * a32 - a13 * a22 * a31 -
                   a12 * a21 * a33 - a11 * a23 * a32;
    ijac[0][0] = (a22 * a33 - a23 * a32) / det;
    ijac[1][0] = (a23 * a31 - a21 * a33) / det;
    ijac[2][0] = (a21 * a32 - a22 * a31) / det;
    ijac[0][1] = (a13 * a32 - a12 * a33) / det;
    ijac[1][1] = (a11 * a33 - a13 * a31) / det;
    ijac[2][1] = (a12 * a31 - a11 * a32) / det;
    ijac[0][2] = (a12 * a23 - a13 * a22) / det;
    ijac[1][2] = (a13 * a21 - a11 * a23) / det;
    ijac[2][2] = (a11 * a22 - a12 * a21) / det;
    vol = vabs(det) * 8.0;
}

// strain of geometry.hpp.
inline void strainbatch(double dt, const vd v[8][3], const vd ijac[3][3], vd de[6], vd vort[3],
                        vd pkxj[4][3]) {
    for (int j = 0; j < 3; ++j) {
        const vd g1 = ijac[j][0], g2 = ijac[j][1], g3 = ijac[j][2];
        pkxj[0][j] = (-g1 - g2 - g3) * 0.125;
        pkxj[1][j] = (g1 - g2 - g3) * 0.125;
        pkxj[2][j] = (g1 + g2 - g3) * 0.125;
        pkxj[3][j] = (g2 - g1 - g3) * 0.125;
    }
    vd dij[3][3];
    for (int i = 0; i < 3; ++i) {
        const vd v17 = v[0][i] - v[6][i];
        const vd v28 = v[1][i] - v[7][i];
        const vd v35 = v[2][i] - v[4][i];
        const vd v46 = v[3][i] - v[5][i];
        for (int j = 0; j < 3; ++j)
            dij[i][j] = pkxj[0][j] * v17 + pkxj[1][j] * v28 + pkxj[2][j] * v35 + pkxj[3][j] * v46;
    }
    de[0] = dij[0][0] * dt;
    de[1] = dij[1][1] * dt;
    de[2] = dij[2][2] * dt;
    de[3] = (dij[1][2] + dij[2][1]) * dt;
    de[4] = (dij[0][2] + dij[2][0]) * dt;
    de[5] = (dij[0][1] + dij[1][0]) * dt;
    vort[0] = (dij[1][2] - dij[2][1]) * 0.5 * dt;
    vort[1] = (dij[0][2] - dij[2][0]) * 0.5 * dt;
    vort[2] = (dij[0][1] - dij[1][0]) * 0.5 * dt;
}

// midstepstrain of geometry.hpp: the strain increment and spin from the
// gradient of x(n) - dt/2 v(n-1/2); the batch's pkxj, of x(n), is kept for
// the forces.
inline void midstepbatch(double dt, batch& b) {
    const double h = 0.5 * dt;
    vd xm[8][3];
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) xm[k][j] = b.xyz[k][j] - h * b.v[k][j];
    vd volm, ijacm[3][3], pkxjm[4][3];
    jacobianbatch(xm, volm, ijacm);
    strainbatch(dt, b.v, ijacm, b.de, b.vort, pkxjm);
}

// elementlength of timestep.hpp: the lanes' element lengths and distortion
// ratios. The steps follow in the second stage, from the wave speed (and the
// bulk viscosity) at the element's new state; the running minima are taken
// there, lane after lane. 4 vol / sqrt(smax) / c of elementtimestep is the
// same division of the same length.
inline void lengthbatch(batch& b) {
    vd smax = splat(0.0);
    vd smin = splat(static_cast<double>(1.0e20f));
    for (int f = 0; f < 6; ++f) {
        const vd* x1 = b.xyz[elementface::fac[f][0]];
        const vd* x2 = b.xyz[elementface::fac[f][1]];
        const vd* x3 = b.xyz[elementface::fac[f][2]];
        const vd* x4 = b.xyz[elementface::fac[f][3]];
        vd fs[3], ft[3];
        for (int j = 0; j < 3; ++j) {
            const vd x13 = x3[j] - x1[j];
            const vd x24 = x4[j] - x2[j];
            fs[j] = x13 - x24;
            ft[j] = x13 + x24;
        }
        const vd ss = fs[0] * fs[0] + fs[1] * fs[1] + fs[2] * fs[2];
        const vd tt = ft[0] * ft[0] + ft[1] * ft[1] + ft[2] * ft[2];
        const vd st = fs[0] * ft[0] + fs[1] * ft[1] + fs[2] * ft[2];
        const vd s = ss * tt - st * st;
        smax = s > smax ? s : smax;
        smin = s < smin ? s : smin;
    }
    b.len = 4.0 * b.vol / vsqrt(smax);
    b.ratio = smin / smax;
}

// ------------------------------------------------------------ stress update

inline void loadstress(const elementpass& p, const int hist[W], stress& s) {
#ifdef HEXDYN_BATCH_GATHER
    // Each field of the W records (sizeof(history) apart) by one gather.
    static_assert(sizeof(history) % sizeof(double) == 0);
    vi at;
    for (int l = 0; l < W; ++l)
        at[l] = hist[l] * static_cast<int>(sizeof(history) / sizeof(double));
    const history& h0 = p.hlist[0];
    for (int i = 0; i < 6; ++i) s.sd[i] = gatherd(&h0.sd[i], at);
    s.sm = gatherd(&h0.sm, at);
    s.sig_y = gatherd(&h0.sig_y, at);
    s.epeff = gatherd(&h0.epeff, at);
    s.vol0 = gatherd(&h0.vol0, at);
    s.eint = gatherd(&h0.eint, at);
    s.q = gatherd(&h0.q, at);
#else
    for (int l = 0; l < W; ++l) {
        const history& h = p.hlist[hist[l]];
        for (int i = 0; i < 6; ++i) s.sd[i][l] = h.sd[i];
        s.sm[l] = h.sm;
        s.sig_y[l] = h.sig_y;
        s.epeff[l] = h.epeff;
        s.vol0[l] = h.vol0;
        s.eint[l] = h.eint;
        s.q[l] = h.q;
    }
#endif
}

// sigrot of constitution.hpp.
inline void sigrotbatch(const vd vort[3], vd s[6], vd& smv, vd sdv[6]) {
    const vd w1 = vort[0], w2 = vort[1], w3 = vort[2];
    const vd s1 = s[0], s2 = s[1], s3 = s[2], s4 = s[3], s5 = s[4], s6 = s[5];
    const vd r1 = 2.0 * s6 * w3 + 2.0 * s5 * w2;
    const vd r2 = 2.0 * s4 * w1 - 2.0 * s6 * w3;
    const vd r3 = -2.0 * s5 * w2 - 2.0 * s4 * w1;
    const vd r4 = (s3 - s2) * w1 - w2 * s6 - w3 * s5;
    const vd r5 = w3 * s4 + (s3 - s1) * w2 - w1 * s6;
    const vd r6 = w1 * s5 + (s2 - s1) * w3 + w2 * s4;
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

// Moduli of one material, as constitution forms them.
struct moduli {
    double g2, k3, plamod;
};

// equivalentstress of models.hpp, or vonmisesstress when `vm`.
inline vd equivalentbatch(const vd sd[6], bool vm) {
    if (vm)
        return vsqrt((sd[0] * sd[0] + sd[1] * sd[1] + sd[2] * sd[2] +
                      2.0 * (sd[3] * sd[3] + sd[4] * sd[4] + sd[5] * sd[5])) *
                     0.5 * 3.0);
    return vsqrt((sd[0] * sd[0] + sd[1] * sd[1] + sd[2] * sd[2] + sd[3] * sd[3] + sd[4] * sd[4] +
                  sd[5] * sd[5]) *
                 0.5 * 3.0);
}

// trialstep of models.hpp: elastic_devi, then elastic_p unless the material
// has an equation of state (which gives the mean stress in the second
// stage); returns the trial equivalent stress, von Mises when `vm`.
inline vd trialbatch(const vd de[6], const moduli& md, bool eos, bool vm, stress& s) {
    const vd t = (de[0] + de[1] + de[2]) / 3.0;
    for (int i = 0; i < 3; ++i) s.sd[i] += md.g2 * (de[i] - t);
    for (int i = 3; i < 6; ++i) s.sd[i] += de[i] * md.g2 * 0.5;
    if (!eos) s.sm += (de[0] + de[1] + de[2]) / 3.0 * md.k3;
    return equivalentbatch(s.sd, vm);
}

// Radial scaling r of the lanes that yield (`plastic`), the others unchanged.
inline void scalebatch(vm plastic, vd r, vd q, stress& s) {
    for (int i = 0; i < 6; ++i) s.sd[i] = plastic ? s.sd[i] * r : s.sd[i];
    s.seqv = plastic ? q * r : q;
}

// constitution of constitution.hpp for the lanes of one material, first
// stage: up to the arguments of the Johnson-Cook pow and log.
inline void constitutionbegin(const elementpass& p, batch& b) {
    const material& m = *b.m;
    stress& s = b.s;
    loadstress(p, b.hist, s);
    b.rho = m.density * s.vol0 / b.vol;
    moduli md;
    md.g2 = m.young / (1.0 + m.poisson);
    md.k3 = m.young / ((1.0 - m.poisson) - m.poisson);
    md.plamod = m.young * m.tangmod / (m.young - m.tangmod);

    vd sig[6];
    for (int i = 0; i < 3; ++i) sig[i] = s.sd[i] + s.sm;
    for (int i = 3; i < 6; ++i) sig[i] = s.sd[i];
    if (materialdata::jaum) sigrotbatch(b.vort, sig, s.sm, s.sd);

    vd e0 = splat(0.0);
    for (int i = 0; i < 6; ++i) e0 = e0 + sig[i] * b.de[i];
    b.e0 = e0;

    const vd* de = b.de;
    const bool eos = m.etype == 1;
    switch (m.mtype) {
        case 1: {
            const vd t = (de[0] + de[1] + de[2]) / 3.0;
            for (int i = 0; i < 3; ++i) s.sd[i] += md.g2 * (de[i] - t);
            for (int i = 3; i < 6; ++i) s.sd[i] += de[i] * md.g2 * 0.5;
            s.sm += (de[0] + de[1] + de[2]) / 3.0 * md.k3;
            s.seqv = equivalentbatch(s.sd, materialdata::vonmises);
            break;
        }
        case 2: {
            const vd q = trialbatch(de, md, eos, materialdata::vonmises, s);
            const vm plastic = ~(m.yield0 >= q);
            if (materialdata::consistent) {
                const vd dp = (q - m.yield0) / (1.5 * md.g2);
                s.epeff = plastic ? s.epeff + dp : s.epeff;
            }
            scalebatch(plastic, m.yield0 / q, q, s);
            break;
        }
        case 3: {
            const vd q = trialbatch(de, md, eos, materialdata::vonmises, s);
            const vm plastic = ~(s.sig_y >= q);
            const vd dp = (q - s.sig_y) / (1.5 * md.g2 + md.plamod);
            s.epeff = plastic ? s.epeff + dp : s.epeff;
            s.sig_y = plastic ? s.sig_y + md.plamod * dp : s.sig_y;
            scalebatch(plastic, s.sig_y / q, q, s);
            break;
        }
        case 5:    // jcth
        case 6:    // plaw
        case 7: {  // voce
            // The von Mises trial value; the return of the yielding lanes
            // runs lane by lane in the block's libm stage.
            static_assert(catalog::nmodels == 7, "a new model needs its case here");
            b.qs = trialbatch(de, md, eos, true, s);
            b.g3 = 1.5 * md.g2;
            b.plastic = ~(s.sig_y >= b.qs);
            s.temp = splat(0.0);
            if (m.mtype == 5)
                for (int l = 0; l < W; ++l) s.temp[l] = p.hlist[b.hist[l]].temp;
            break;
        }
        default: {  // 4, Johnson-Cook
            const vd q = trialbatch(de, md, eos, materialdata::vonmises, s);
            b.g3 = 1.5 * md.g2;
            if (materialdata::consistent) {
                // The return onto the curve runs lane by lane in the block's
                // libm stage, from the unrounded trial value.
                b.qs = q;
                b.plastic = ~(s.sig_y >= q);
                break;
            }
            b.qs = tofloat(q);
            b.plastic = ~((s.sig_y >= q) | ~(b.qs > s.sig_y));
            const vd dp = (b.qs - s.sig_y) / (1.5 * md.g2 + md.plamod);
            s.epeff = b.plastic ? s.epeff + dp : s.epeff;
            // pow(epeff, n) and log(rate) of the plastic lanes follow in the
            // block's libm stage.
            b.rate = dp * 1000.0 / p.dtk;
        }
    }
}

// eos_centred of models.hpp: the mean stress of the Gruneisen form solved
// together with the energy of the step.
inline vd eoscentredbatch(const material& m, vd mu, vd den, vd estar, vd a, vd trde) {
    const double c1 = m.c1eos, c2 = m.c2eos, c3 = m.c3eos, c4 = m.c4eos;
    const vd pc = (1.0 - mu * c4 * 0.5 / den) * (c1 * mu + c2 * (mu * mu) + c3 * (mu * mu * mu));
    return -(c4 * estar + pc) / (1.0 + c4 * a * trde);
}

// eos_wavespeed of models.hpp at pressure p (0 where c^2 is not positive).
inline vd eoswavespeedbatch(const material& m, vd mu, vd den, double den0, vd p, double g2v) {
    const double c1 = m.c1eos, c2 = m.c2eos, c3 = m.c3eos, c4 = m.c4eos;
    const vd f = c1 * mu + c2 * (mu * mu) + c3 * (mu * mu * mu);
    const vd df = c1 + 2.0 * c2 * mu + 3.0 * c3 * (mu * mu);
    const vd g = 1.0 - mu * c4 * 0.5 / den;
    const vd dg = -0.5 * c4 * den0 / (den * den);
    const vd ks = den / den0 * (g * df + f * dg) + p * c4 / den;
    const vd cc = (ks + 2.0 / 3.0 * g2v) / den;
    // The square root of a negative lane is discarded by the select.
    return cc > 0.0 ? vsqrt(cc) : splat(0.0);
}

// The step and bulk viscosity of the lanes of oneelement (feforce.cpp) with
// bulk viscosity on or an equation of state: the wave speed is the elastic
// one or the equation of state's at the new mean stress sm where larger;
// with bulk viscosity, viscousstep and viscouspressure of timestep.hpp, both
// sides of their compression test computed and each lane taking its own.
// Returns the pressure subtracted from the mean stress in the nodal forces
// (the history record's q without bulk viscosity).
inline vd viscousbatch(const elementpass& p, batch& b, vd sm, double g2) {
    const material& m = *b.m;
    vd cs = splat(m.wavespeed);
    if (m.etype == 1 && m.mtype != 1 && p.eosstep) {
        const vd ce = eoswavespeedbatch(m, b.rho / m.density - 1.0, b.rho, m.density, -sm, g2);
        cs = ce > cs ? ce : cs;
    }
    b.cs = cs;
    const vd l = b.len;
    if (!p.bulk) {
        b.dte = l / cs;
        return b.s.q;
    }
    const vd trd = p.dtk > 0.0 ? (b.de[0] + b.de[1] + b.de[2]) / p.dtk : splat(0.0);
    const vm comp = trd < 0.0;
    const vd qq = p.q1 * cs + p.q2 * l * -trd;
    const vd dtq = l / (qq + vsqrt(qq * qq + cs * cs));
    b.dte = comp ? dtq : l / cs;
    const vd q = b.rho * (p.q2 * p.q2 * (l * l) * (trd * trd) - p.q1 * l * cs * trd);
    b.s.q = comp ? q : splat(0.0);
    return b.s.q;
}

// stiffnesslength of timestep.hpp for the lanes: G = 2 sum_a pkxj_a pkxj_a^T
// (symmetric, each product as the scalar code forms it, so the upper
// triangle serves for the lower), its trace and largest absolute row sum,
// and L = 1 / sqrt(2 (V / V0) Phi) with each lane's own share w and volume
// ratio.
inline vd stiffnessbatch(const vd pkxj[4][3], vd w, vd vratio) {
    vd g[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = i; j < 3; ++j) {
            vd s = splat(0.0);
            for (int a = 0; a < 4; ++a) s = s + pkxj[a][i] * pkxj[a][j];
            g[i][j] = 2.0 * s;
            g[j][i] = g[i][j];
        }
    const vd tr = g[0][0] + g[1][1] + g[2][2];
    vd gmax = splat(0.0);
    for (int i = 0; i < 3; ++i) {
        const vd row = vabs(g[i][0]) + vabs(g[i][1]) + vabs(g[i][2]);
        gmax = row > gmax ? row : gmax;
    }
    gmax = gmax > tr ? tr : gmax;
    const vd phi = w * tr + (1.0 - w) * gmax;
    return 1.0 / vsqrt(2.0 * vratio * phi);
}

// hourglassprojection of timestep.hpp: the largest |projection| of the
// lanes' corner velocities on the four base vectors.
inline vd projectionbatch(const vd v[8][3]) {
    vd h = splat(0.0);
    for (int i = 0; i < 3; ++i) {
        const vd v1467 = v[0][i] - v[3][i] - v[5][i] + v[6][i];
        const vd v2358 = v[1][i] - v[2][i] - v[4][i] + v[7][i];
        const vd v1256 = v[0][i] - v[1][i] - v[4][i] + v[5][i];
        const vd v3478 = v[2][i] - v[3][i] - v[6][i] + v[7][i];
        const vd m[4] = {v1467 - v2358, v1467 + v2358, v1256 - v3478, v1256 + v3478};
        for (const vd x : m) {
            const vd a = vabs(x);
            h = a > h ? a : h;
        }
    }
    return h;
}

// The Flanagan-Belytschko mode vectors of the lanes: gc[a][m] is gamma_m at
// corner a, the base vector h_m less its linear part, h_m(a) minus the sum
// over j of dN_a/dx_j beta[j][m] (corners 5-8 through the sums s of
// opposite corners).
inline void flanganmodesbatch(const vd xyz[8][3], const vd pkxj[4][3], vd gc[8][4]) {
    vd beta[3][4];
    for (int j = 0; j < 3; ++j) {
        const vd x1467 = xyz[0][j] - xyz[3][j] - xyz[5][j] + xyz[6][j];
        const vd x2358 = xyz[1][j] - xyz[2][j] - xyz[4][j] + xyz[7][j];
        const vd x1256 = xyz[0][j] - xyz[1][j] - xyz[4][j] + xyz[5][j];
        const vd x3478 = xyz[2][j] - xyz[3][j] - xyz[6][j] + xyz[7][j];
        beta[j][0] = x1467 - x2358;
        beta[j][1] = x1467 + x2358;
        beta[j][2] = x1256 - x3478;
        beta[j][3] = x1256 + x3478;
    }
    for (int a = 0; a < 4; ++a)
        for (int m = 0; m < 4; ++m)
            gc[a][m] = hourglassdata::hc[a][m] - pkxj[a][0] * beta[0][m] - pkxj[a][1] * beta[1][m] -
                       pkxj[a][2] * beta[2][m];
    for (int m = 0; m < 4; ++m) {
        gc[4][m] = hourglassdata::sc[0][m] - gc[2][m];
        gc[5][m] = hourglassdata::sc[1][m] - gc[3][m];
        gc[6][m] = hourglassdata::sc[2][m] - gc[0][m];
        gc[7][m] = hourglassdata::sc[3][m] - gc[1][m];
    }
}

// flanagangram of forces.hpp for all lanes: the bound of the largest
// eigenvalue of the Flanagan-Belytschko mode vectors' Gram matrix.
inline vd flanagangrambatch(const vd xyz[8][3], const vd pkxj[4][3]) {
    vd gc[8][4];
    flanganmodesbatch(xyz, pkxj, gc);
    vd worst = splat(0.0);
    for (int m = 0; m < 4; ++m) {
        vd row = splat(0.0);
        for (int n = 0; n < 4; ++n) {
            vd dot = splat(0.0);
            for (int a = 0; a < 8; ++a) dot = dot + gc[a][m] * gc[a][n];
            row = row + vabs(dot);
        }
        worst = row > worst ? row : worst;
    }
    return worst;
}

// The steps of "stab on" (stableelementstep of feforce.cpp) for all lanes:
// the stiffness length with the elastic wave speed (scaled by V / V0) or the
// equation of state's larger one, the bulk viscosity's damped step of the
// lanes in compression, and the hourglass viscosity's step from the volume
// factor V^(2/3) the hourglass forces use.
inline void stablebatch(const elementpass& p, batch& b) {
    const material& m = *b.m;
    const vd cs = p.bulk || m.etype == 1 ? b.cs : splat(m.wavespeed);
    const vm eoswave = cs != m.wavespeed;
    const vd one = splat(1.0);
    const vd w = eoswave ? one : splat(lambdashare(m.poisson, false));
    const vd vratio = eoswave ? one : b.vol / b.s.vol0;
    const vd ls = stiffnessbatch(b.pkxj, w, vratio);
    vd dt = ls / cs;
    if (p.bulk) {
        const vd trd = p.dtk > 0.0 ? (b.de[0] + b.de[1] + b.de[2]) / p.dtk : splat(0.0);
        const vd l = b.len;
        const vd qq = (p.q1 * cs + p.q2 * l * -trd) * (l / ls);
        const vd dtq = ls / (qq + vsqrt(qq * qq + cs * cs));
        dt = trd < 0.0 ? dtq : dt;
    }
    if (p.hgmode > 0) {
        vd hgrate;
        if (p.hgmode == 1)
            hgrate = 8.0 * p.hgq * b.vpow * (m.wavespeed + 100.0 * p.hgq * projectionbatch(b.v));
        else
            hgrate = flanagangrambatch(b.xyz, b.pkxj) * p.hgq * b.vpow * m.wavespeed;
        const vd dth = b.vol / hgrate;
        dt = ((hgrate > 0.0) & (dth < dt)) ? dth : dt;
    }
    b.dte = dt;
}

// Second stage: the Johnson-Cook yield stress from the libm results, the
// mean stress of the equation of state, the stress written back, the strain
// energy (and the work of the bulk viscosity) added to the process total in
// lane order, the lanes' steps, and the internal forces f (corner-major).
inline void constitutionend(const elementpass& p, batch& b, vd f[8][3]) {
    const material& m = *b.m;
    stress& s = b.s;
    if ((m.mtype == 4 && materialdata::consistent) || m.mtype >= 5) {
        s.sig_y = b.plastic ? b.hard : s.sig_y;
        scalebatch(b.plastic, s.sig_y / b.qs, b.qs, s);
    } else if (m.mtype == 4) {
        vd sy = (m.yield0 + m.bjc * b.hard) * (1.0 + m.cjc * b.lograte);
        // Times 1 without coupled damage: the same bits.
        sy = sy * b.weak;
        sy = sy < 0.0 ? splat(0.0) : sy;
        s.sig_y = b.plastic ? sy : s.sig_y;
        scalebatch(b.plastic, s.sig_y / b.qs, b.qs, s);
    }

    // As constitution of constitution.hpp: the work of the last pass's bulk
    // viscosity against this step's volume change, the equation of state's
    // mean stress from the energy of the step without the new mean stress.
    const bool eos = m.etype == 1;
    const vd trde = b.de[0] + b.de[1] + b.de[2];
    const vd dwq = p.bulk ? -s.q * trde * b.vol : splat(0.0);
    const vd mass = m.density * s.vol0;
    if (eos && m.mtype != 1) {
        vd e = b.e0;
        for (int i = 0; i < 3; ++i) e = e + s.sd[i] * b.de[i];
        for (int i = 3; i < 6; ++i) e = e + s.sd[i] * b.de[i];
        const vd a = 0.5 * b.vol / mass;
        const vd estar = s.eint + a * e + dwq / mass;
        s.sm = eoscentredbatch(m, b.rho / m.density - 1.0, b.rho, estar, a, trde);
    }

    vd e1 = b.e0;
    for (int i = 0; i < 3; ++i) e1 = e1 + (s.sd[i] + s.sm) * b.de[i];
    for (int i = 3; i < 6; ++i) e1 = e1 + s.sd[i] * b.de[i];
    const vd dw = 0.5 * b.vol * e1;
    // The element's own energy: for the equation of state, and for the
    // energy an element takes away when it erodes.
    const bool own = eos || failuredata::on;
    if (own) s.eint = s.eint + (dw + dwq) / mass;

    // The lanes' steps; the viscous pressure acts on the nodes only.
    vd smf = s.sm;
    if (p.bulk || eos)
        smf = s.sm - viscousbatch(p, b, s.sm, m.young / (1.0 + m.poisson));
    else
        b.dte = b.len / m.wavespeed;
    if (p.stable) stablebatch(p, b);
#ifdef HEXDYN_BATCH_SCATTER
    // Each field into the W records by one scatter (the records differ).
    vi at;
    for (int l = 0; l < W; ++l)
        at[l] = b.hist[l] * static_cast<int>(sizeof(history) / sizeof(double));
    history& h0 = p.hlist[0];
    scatterd(&h0.sm, at, s.sm);
    scatterd(&h0.seqv, at, s.seqv);
    for (int i = 0; i < 6; ++i) scatterd(&h0.sd[i], at, s.sd[i]);
    scatterd(&h0.sig_y, at, s.sig_y);
    scatterd(&h0.epeff, at, s.epeff);
    if (own) scatterd(&h0.eint, at, s.eint);
    if (p.bulk) scatterd(&h0.q, at, s.q);
#else
    for (int l = 0; l < W; ++l) {
        history& h = p.hlist[b.hist[l]];
        h.sm = s.sm[l];
        h.seqv = s.seqv[l];
        for (int i = 0; i < 6; ++i) h.sd[i] = s.sd[i][l];
        h.sig_y = s.sig_y[l];
        h.epeff = s.epeff[l];
        if (own) h.eint = s.eint[l];
        if (p.bulk) h.q = s.q[l];
    }
#endif
    if (m.mtype == 5)
        for (int l = 0; l < W; ++l) p.hlist[b.hist[l]].temp = s.temp[l];
    double es = simulation::engstrain;
    if (p.bulk) {
        for (int l = 0; l < W; ++l) {
            es += dw[l];
            es += dwq[l];
        }
    } else {
        for (int l = 0; l < W; ++l) es += dw[l];
    }
    simulation::engstrain = es;

    // nodalforce_kernel of forces.hpp, on the updated stress.
    const vd sig1 = (s.sd[0] + smf) * b.vol;
    const vd sig2 = (s.sd[1] + smf) * b.vol;
    const vd sig3 = (s.sd[2] + smf) * b.vol;
    const vd sig4 = s.sd[3] * b.vol;
    const vd sig5 = s.sd[4] * b.vol;
    const vd sig6 = s.sd[5] * b.vol;
    for (int a = 0; a < 4; ++a) {
        const vd b1 = b.pkxj[a][0], b2 = b.pkxj[a][1], b3 = b.pkxj[a][2];
        f[a][0] = -(b1 * sig1 + b2 * sig6 + b3 * sig5);
        f[a][1] = -(b1 * sig6 + b2 * sig2 + b3 * sig4);
        f[a][2] = -(b1 * sig5 + b2 * sig4 + b3 * sig3);
    }
    for (int i = 0; i < 3; ++i) {
        f[6][i] = -f[0][i];
        f[7][i] = -f[1][i];
        f[4][i] = -f[2][i];
        f[5][i] = -f[3][i];
    }
}

// --------------------------------------------------------------- hourglass

// hgforcestandard_t of forces.hpp.
inline void standardbatch(const batch& b, double c, double q, vd vpow, vd ft[3][8]) {
    const vd kk = b.rho * q * 0.25 * vpow;
    const vd a = c * kk;
    const vd bb = q * 100.0 * kk;
    for (int i = 0; i < 3; ++i) {
        const vd v1467 = b.v[0][i] - b.v[3][i] - b.v[5][i] + b.v[6][i];
        const vd v2358 = b.v[1][i] - b.v[2][i] - b.v[4][i] + b.v[7][i];
        const vd v1256 = b.v[0][i] - b.v[1][i] - b.v[4][i] + b.v[5][i];
        const vd v3478 = b.v[2][i] - b.v[3][i] - b.v[6][i] + b.v[7][i];
        vd hgr[4] = {v1467 - v2358, v1467 + v2358, v1256 - v3478, v1256 + v3478};
        for (int m = 0; m < 4; ++m) hgr[m] = (a + vabs(bb * hgr[m])) * hgr[m];
        const vd hap = hgr[0] + hgr[3];
        const vd ham = hgr[0] - hgr[3];
        const vd hbp = hgr[1] + hgr[2];
        const vd hbm = hgr[1] - hgr[2];
        ft[i][0] = -hap - hbp;
        ft[i][1] = hap - hbm;
        ft[i][2] = hbp - hap;
        ft[i][3] = hap + hbm;
        ft[i][4] = hbp - ham;
        ft[i][5] = ham + hbm;
        ft[i][6] = -ham - hbp;
        ft[i][7] = ham - hbm;
    }
}

// hgforceflangan_t of forces.hpp: gc[a][m] is the mode vector gamma_m at
// corner a, g[i][m] the projection of velocity component i on it.
inline void flanganbatch(const batch& b, double c, double q, vd vpow, vd ft[3][8]) {
    const vd k = q * c * b.rho * vpow * (-0.25);
    vd gc[8][4];
    flanganmodesbatch(b.xyz, b.pkxj, gc);
    for (int i = 0; i < 3; ++i) {
        vd g[4];
        for (int m = 0; m < 4; ++m) {
            vd sum = splat(0.0);
            for (int a = 0; a < 8; ++a) sum = sum + gc[a][m] * b.v[a][i];
            g[m] = sum;
        }
        for (int a = 0; a < 8; ++a)
            ft[i][a] = k * (gc[a][0] * g[0] + gc[a][1] * g[1] + gc[a][2] * g[2] + gc[a][3] * g[3]);
    }
}

// ----------------------------------------------------------------- scatter

// scatter_add and scatter_add_t of corners.hpp, lane after lane.
inline void scatterbatch(const elementpass& p, int e0, const vd f[8][3], const vd ft[3][8]) {
    for (int l = 0; l < W; ++l) {
        const int* node = p.elist[e0 + l].node;
        for (int k = 0; k < 8; ++k) {
            double* a = p.acc + 3 * static_cast<std::ptrdiff_t>(node[k] - 1);
            a[0] += f[k][0][l];
            a[1] += f[k][1][l];
            a[2] += f[k][2][l];
        }
        if (p.hgmode != 0) {
            for (int k = 0; k < 8; ++k) {
                double* a = p.acc + 3 * static_cast<std::ptrdiff_t>(node[k] - 1);
                a[0] += ft[0][k][l];
                a[1] += ft[1][k][l];
                a[2] += ft[2][k][l];
            }
            if (p.hgacc)
                for (int k = 0; k < 8; ++k) {
                    double* a = p.hgacc + 3 * static_cast<std::ptrdiff_t>(node[k] - 1);
                    a[0] += ft[0][k][l];
                    a[1] += ft[1][k][l];
                    a[2] += ft[2][k][l];
                }
        }
    }
}

// ------------------------------------------------------------------- batch

// Whether the W elements from e0 can run side by side: one material whose
// model the lanes run (its row of the material table says so) and W
// different history records (0-based in `hist`).
inline bool lanesfit(const elementpass& p, int e0, int hist[W]) {
    const element* el = p.elist + e0;
    const int mat = el[0].mat;
    bool ascending = true;
    for (int l = 0; l < W; ++l) {
        if (el[l].mat != mat) return false;
        hist[l] = el[l].nhistory - 1;
        if (l > 0 && !(hist[l] > hist[l - 1])) ascending = false;
    }
    if (!ascending)
        for (int l = 1; l < W; ++l)
            for (int o = 0; o < l; ++o)
                if (hist[l] == hist[o]) return false;
    const material& m = p.mlist[mat - 1];
    return m.mtype >= 1 && m.mtype <= catalog::nmodels && catalog::models[m.mtype - 1].lanes;
}

// First stage of one batch: false, with nothing changed, when it must go the
// scalar way.
inline bool stagebegin(const elementpass& p, int e0, batch& b) {
    if (!lanesfit(p, e0, b.hist)) return false;
    gatherbatch(p, e0, b);
    jacobianbatch(b.xyz, b.vol, b.ijac);
    if (anyof(~(b.vol > 0.0))) return false;
    strainbatch(p.dtk, b.v, b.ijac, b.de, b.vort, b.pkxj);
    if (p.midstep) midstepbatch(p.dtk, b);
    b.m = &p.mlist[p.elist[e0].mat - 1];
    // Damage coupled to the flow stress: each lane's factor (weakening(),
    // constitution.hpp).
    b.weak = splat(1.0);
    if (!failuredata::weakening.empty())
        for (int l = 0; l < W; ++l)
            b.weak[l] = failuredata::weakening[static_cast<std::size_t>(b.hist[l])];
    lengthbatch(b);
    constitutionbegin(p, b);
    return true;
}

// Second stage of one batch, in element order: everything that adds into
// the process's running values.
inline void stageend(elementpass& p, int e0, batch& b) {
    if (!b.lanes) {
        for (int l = 0; l < W; ++l) elementscalar(p, e0 + l);
        return;
    }
    vd f[8][3], ft[3][8];
    constitutionend(p, b, f);
    for (int l = 0; l < W; ++l) {
        if (p.dtmin >= b.dte[l]) p.dtmin = b.dte[l];
        if (!(p.edist <= b.ratio[l])) p.edist = b.ratio[l];
    }
    if (p.hgmode == 1)
        standardbatch(b, b.m->wavespeed, p.hgq, b.vpow, ft);
    else if (p.hgmode == 2)
        flanganbatch(b, b.m->wavespeed, p.hgq, b.vpow, ft);
    scatterbatch(p, e0, f, ft);
}

// The returns onto the hardening curves with "math on" ("cons on" for
// john; jcth, plaw, voce always) in the lanes: every lane goes through the
// scalar code's operations (plasticincrement, jcreturn, jcthreturn,
// curvereturn of models.hpp) in their order, with the solver's own pow, log
// and exp, which give the scalar functions' bits, and stops where the
// scalar loop would.

// jcyield: the Johnson-Cook yield stress after the increment dp and, where
// `slope` is given, its slope.
inline vd jcyieldlanes(const material& m, vd ep0, vd dp, double dtk, double rate0, vd soft,
                       vd* slope) {
    const vd ep = ep0 + dp;
    vd pn, pn1;
    if (slope != nullptr)
        ownmath::powpair(ep, splat(m.njc), splat(m.njc - 1.0), pn, pn1);
    else
        pn = ownmath::pow(ep, splat(m.njc));
    const vd h = m.yield0 + m.bjc * pn;
    const vd rate = 1.0 + m.cjc * ownmath::log(dp / dtk / rate0);
    const vm up = rate > 0.0;
    if (slope != nullptr) {
        const vd dh = m.njc == 0.0 ? splat(0.0) : m.bjc * m.njc * pn1;
        *slope = up ? (dh * rate + h * m.cjc / dp) * soft : splat(0.0);
    }
    return up ? h * rate * soft : splat(0.0);
}

// thermalfactor: 1 - T*^m.
inline vd thermallanes(const material& m, vd t) {
    vd ts = (t - m.troom) / (m.tmelt - m.troom);
    ts = ts < 0.0 ? splat(0.0) : ts;
    ts = ts > 1.0 ? splat(1.0) : ts;
    return 1.0 - ownmath::pow(ts, splat(m.mjc));
}

// plaw (6) and voce (7): the curve of the plastic strain e and, where
// `slope` is given, its slope. Value and slope share one logarithm (plaw)
// or one exponential (voce), which gives the bits of the scalar code's two
// separate calls.
inline vd curvelanes(const material& m, vd e, vd* slope) {
    if (m.mtype == 6) {
        if (slope == nullptr || m.njc == 0.0) {
            if (slope != nullptr) *slope = splat(0.0);
            return m.yield0 + m.bjc * ownmath::pow(e, splat(m.njc));
        }
        vd pn, pn1;
        ownmath::powpair(e, splat(m.njc), splat(m.njc - 1.0), pn, pn1);
        *slope = m.bjc * m.njc * pn1;
        return m.yield0 + m.bjc * pn;
    }
    const vd x = ownmath::exp(-m.vocc * e);
    if (slope != nullptr) *slope = m.vocq * m.vocc * x;
    return m.yield0 + m.vocq * (1.0 - x);
}

// The yield stress of material m after the increment dp from the plastic
// strain ep0, with each lane's factor soft (jc, jcth), and its slope where
// asked.
inline vd yieldlanes(const material& m, vd ep0, vd soft, vd dp, double dtk, vd* slope) {
    if (m.mtype == 4 || m.mtype == 5)
        return jcyieldlanes(m, ep0, dp, dtk, m.mtype == 4 ? 1.0e-3 : m.ratejc, soft, slope);
    return curvelanes(m, ep0 + dp, slope);
}

// The plastic increments of n yielding lanes (trial values q, yield
// stresses sy, plastic strains ep0, factors soft) by plasticincrement's
// Newton iteration, W lanes at a time: a lane that has converged (or made
// its 100 iterations) hands its place to the next one waiting, so the
// lanes of a block keep the vector full instead of waiting for the slowest
// of their batch. Each lane's operations are those of the scalar loop.
inline void increments(const material& m, int n, const double* q, const double* sy,
                       const double* ep0, const double* soft, double g3, double dtk, double* dp) {
    vd Q, SY, E0, S, lo, hi, d;
    vm run;
    int at[W], its[W];
    int next = 0, busy = 0;
    // Place lane k in slot l, or an idle slot with harmless values.
    const auto load = [&](int l, int k) {
        at[l] = k;
        its[l] = 0;
        Q[l] = k >= 0 ? q[k] : g3;
        SY[l] = k >= 0 ? sy[k] : 0.0;
        E0[l] = k >= 0 ? ep0[k] : 0.1;
        S[l] = k >= 0 ? soft[k] : 1.0;
        lo[l] = 0.0;
        hi[l] = (Q[l] - SY[l]) / g3;
        d[l] = hi[l];
        run[l] = k >= 0 ? -1 : 0;
    };
    for (int l = 0; l < W; ++l) {
        load(l, next < n ? next : -1);
        if (next < n) {
            next += 1;
            busy += 1;
        }
    }
    while (busy > 0) {
        vd slope;
        const vd f = Q - g3 * d - yieldlanes(m, E0, S, d, dtk, &slope);
        const vm up = f > 0.0;
        const vm widen = up & (hi == d);
        lo = (run & up) ? d : lo;
        hi = (run & widen) ? Q / g3 : (run & ~up) ? d : hi;
        vd step = d + f / (g3 + slope);
        step = ((step > lo) & (step < hi)) ? step : 0.5 * (lo + hi);
        run = run & ~((step == d) | ~(hi - lo > 1.0e-15 * hi));
        d = run ? step : d;
        for (int l = 0; l < W; ++l) {
            if (at[l] < 0) continue;
            its[l] += 1;
            if (run[l] != 0 && its[l] < 100) continue;
            dp[at[l]] = d[l];
            busy -= 1;
            load(l, next < n ? next : -1);
            if (next < n) {
                next += 1;
                busy += 1;
            }
        }
    }
}

// Whether batch b's yielding lanes return by the Newton iteration.
inline bool newtonreturn(const batch& b) {
    return b.lanes && anyof(b.plastic) &&
           (b.m->mtype >= 5 || (b.m->mtype == 4 && materialdata::consistent));
}

// The returns of the nb batches of a block whose lanes return by the Newton
// iteration: the yielding lanes of the batches of one material iterate
// together (increments), then each batch updates its plastic strains (and
// jcth's temperatures) and takes the yield stresses the step ends at.
inline void curvereturnblock(int nb, batch blk[], double dtk) {
    constexpr int cap = 32;
    static_assert(cap >= W * (32 / W));
    double q[cap], sy[cap], ep0[cap], soft[cap], dp[cap];
    bool done[32 / W] = {};
    vd softs[32 / W];
    int members[32 / W];
    for (int i = 0; i < nb; ++i) {
        if (done[i] || !newtonreturn(blk[i])) continue;
        const material& m = *blk[i].m;
        const double g3 = blk[i].g3;
        int n = 0, nm = 0;
        for (int j = i; j < nb; ++j) {
            batch& b = blk[j];
            if (done[j] || !newtonreturn(b) || b.m != &m || !(b.g3 == g3)) continue;
            done[j] = true;
            members[nm] = j;
            const vd s = m.mtype == 4   ? b.weak
                         : m.mtype == 5 ? thermallanes(m, b.s.temp) * b.weak
                                        : splat(1.0);
            softs[nm++] = s;
            for (int l = 0; l < W; ++l) {
                if (b.plastic[l] == 0) continue;
                q[n] = b.qs[l];
                sy[n] = b.s.sig_y[l];
                ep0[n] = b.s.epeff[l];
                soft[n] = s[l];
                n += 1;
            }
        }
        increments(m, n, q, sy, ep0, soft, g3, dtk, dp);
        int k = 0;
        for (int g = 0; g < nm; ++g) {
            batch& b = blk[members[g]];
            // Lanes that do not yield keep the harmless increment 1.
            vd d = splat(1.0);
            for (int l = 0; l < W; ++l)
                if (b.plastic[l] != 0) d[l] = dp[k++];
            const vd e0 = b.s.epeff;
            b.s.epeff = b.plastic ? e0 + d : e0;
            // jc and jcth at the increment, plaw and voce at the strain.
            const vd sy1 = m.mtype == 4 || m.mtype == 5
                               ? yieldlanes(m, e0, softs[g], d, dtk, nullptr)
                               : curvelanes(m, b.s.epeff, nullptr);
            if (m.mtype == 5)
                b.s.temp = b.plastic ? b.s.temp + m.betajc * (0.5 * (b.s.sig_y + sy1)) * d /
                                                      (b.rho * m.cpjc)
                                     : b.s.temp;
            b.hard = sy1;
        }
    }
}

// Batches per block: the libm calls of a block's lanes run in tight loops,
// one function at a time, between the two stages.
constexpr int blockbatches = 32 / W;

// Whether the history records of n elements from e0 ascend strictly: then
// no record is used twice in the block, and no batch of the block reads a
// record that an earlier one writes.
inline bool ascending(const elementpass& p, int e0, int n) {
    for (int e = e0 + 1; e < e0 + n; ++e)
        if (!(p.elist[e].nhistory > p.elist[e - 1].nhistory)) return false;
    return true;
}

// nb batches from e0: the first stage of each, pow and log of all their
// lanes, then the second stage of each in element order.
inline void runblock(elementpass& p, int e0, int nb, batch blk[]) {
    for (int i = 0; i < nb; ++i) blk[i].lanes = stagebegin(p, e0 + i * W, blk[i]);
    if (p.math) {
        // "math on": the solver's own pow and log in the lanes.
        if (p.hgmode != 0)
            for (int i = 0; i < nb; ++i)
                if (blk[i].lanes)
                    blk[i].vpow = ownmath::pow(blk[i].vol, splat(hourglassdata::vexp));
        if (!materialdata::consistent)
            for (int i = 0; i < nb; ++i) {
                batch& b = blk[i];
                if (!b.lanes || b.m->mtype != 4) continue;
                b.hard = b.plastic ? ownmath::pow(b.s.epeff, splat(b.m->njc)) : splat(0.0);
                b.lograte = b.plastic ? ownmath::log(b.rate) : splat(0.0);
            }
    } else if (p.hgmode != 0)
        for (int i = 0; i < nb; ++i)
            if (blk[i].lanes)
                for (int l = 0; l < W; ++l)
                    blk[i].vpow[l] = std::pow(blk[i].vol[l], hourglassdata::vexp);
    if (materialdata::consistent) {
        // "cons on": the Johnson-Cook return of each yielding lane.
        for (int i = 0; i < nb; ++i) {
            batch& b = blk[i];
            if (!b.lanes || b.m->mtype != 4) continue;
            if (p.math) continue;  // curvereturnblock below
            for (int l = 0; l < W; ++l)
                if (b.plastic[l]) {
                    double dp = 0.0;
                    b.hard[l] = johnsoncookreturn(*b.m, b.qs[l], b.s.sig_y[l], b.s.epeff[l], b.g3,
                                                  p.dtk, b.weak[l], dp);
                    b.s.epeff[l] = b.s.epeff[l] + dp;
                }
        }
    } else if (!p.math) {
        for (int i = 0; i < nb; ++i) {
            batch& b = blk[i];
            if (!b.lanes || b.m->mtype != 4) continue;
            for (int l = 0; l < W; ++l)
                b.hard[l] = b.plastic[l] ? std::pow(b.s.epeff[l], b.m->njc) : 0.0;
        }
        for (int i = 0; i < nb; ++i) {
            batch& b = blk[i];
            if (!b.lanes || b.m->mtype != 4) continue;
            for (int l = 0; l < W; ++l) b.lograte[l] = b.plastic[l] ? std::log(b.rate[l]) : 0.0;
        }
    }
    // jcth, plaw and voce: the return of each yielding lane, the scalar code.
    for (int i = 0; i < nb; ++i) {
        batch& b = blk[i];
        if (!b.lanes || b.m->mtype < 5) continue;
        if (p.math) continue;  // curvereturnblock below
        for (int l = 0; l < W; ++l)
            if (b.plastic[l]) {
                double ep = b.s.epeff[l], temp = b.s.temp[l];
                b.hard[l] = curvereturnlane(*b.m, b.qs[l], b.s.sig_y[l], b.g3, p.dtk, b.rho[l],
                                            b.weak[l], ep, temp);
                b.s.epeff[l] = ep;
                b.s.temp[l] = temp;
            }
    }
    if (p.math) curvereturnblock(nb, blk, p.dtk);
    for (int i = 0; i < nb; ++i) stageend(p, e0 + i * W, blk[i]);
}

inline void batchedpass(elementpass& p) {
    batch blk[blockbatches];
    int e = 0;
    while (e + W <= p.ne) {
        int nb = (p.ne - e) / W;
        if (nb > blockbatches) nb = blockbatches;
        // Records out of order: one batch at a time (lanesfit checks within it).
        if (nb > 1 && !ascending(p, e, nb * W)) nb = 1;
        runblock(p, e, nb, blk);
        e += nb * W;
    }
    for (; e < p.ne; ++e) elementscalar(p, e);
}

// The solver's own functions of "math on" in this width's lanes, over n
// values (n a multiple of W): fn 0 log x, 1 exp x, 2 pow(x, y).
inline void ownmathlanes(int fn, const double* x, const double* y, double* out, int n) {
    for (int i = 0; i + W <= n; i += W) {
        vd a, b, r;
        std::memcpy(&a, x + i, sizeof a);
        std::memcpy(&b, y + i, sizeof b);
        r = fn == 0 ? ownmath::log(a) : fn == 1 ? ownmath::exp(a) : ownmath::pow(a, b);
        std::memcpy(out + i, &r, sizeof r);
    }
}

}  // namespace
