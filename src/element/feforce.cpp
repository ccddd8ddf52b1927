#include "element/feforce.hpp"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "element/corners.hpp"
#include "element/elementpass.hpp"
#include "element/forces.hpp"
#include "element/geometry.hpp"
#include "element/simd.hpp"
#include "element/timestep.hpp"
#include "material/constitution.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "numerics/ownmath.hpp"
#include "output/records.hpp"

void zerovolume(int e) {
    std::string line = " *** Error *** Jacobian determinant of element ";
    records::put_i(line, e, 6);
    line += " is negative ! ";
    errorstop::writeline(line);
    errorstop::stop();
}

[[noreturn]] static void invalidhourglass() {
    errorstop::writeline(" ***Error*** Invalid Hourglass control method !");
    errorstop::stop();
}

// The step of "stab on" for one element: the stiffness bound of the free
// element with the elastic wave speed c of the material (the current volume
// over the initial one scaling it) or the equation of state's larger cs, the
// bulk and hourglass viscosities; vpow is the hourglass forces' volume
// factor V^(2/3) (unused without hourglass control). batch.hpp does the same
// for its lanes (stablebatch).
static double stableelementstep(const elementpass& p, const material& m, const double v[8][3],
                                const double xyz[8][3], const double pkxj[4][3], double vol,
                                double vol0, double len, double cs, double trd, double vpow) {
    const bool eoswave = cs != m.wavespeed;
    const double ls =
        stiffnesslength(pkxj, lambdashare(m.poisson, eoswave), eoswave ? 1.0 : vol / vol0);
    double hgrate = 0.0;
    if (p.hgmode > 0) {
        const double quad = p.hgmode == 1 ? 100.0 * p.hgq * hourglassprojection(v) : 0.0;
        const double gram = p.hgmode == 2 ? flanagangram(xyz, pkxj) : 8.0;
        hgrate = gram * p.hgq * vpow * (m.wavespeed + quad);
    }
    return boundedstep(ls, len, cs, p.bulk, trd, p.q1, p.q2, vol, hgrate);
}

// The body of elementscalar, inlined into the scalar loop of feforce.
[[gnu::always_inline]] static inline void oneelement(elementpass& p, int e) {
    const element& el = p.elist[e];
    // Gather corner coordinates and velocities.
    double xyz[8][3], v[8][3];
    gather_corners(el.node, p.pos, p.vel, xyz, v);

    // Kernels.
    double vol, ijac[3][3];
    jacobian(xyz, vol, ijac);
    if (!(vol > 0.0)) zerovolume(e + 1);
    double de[6], vort[3], pkxj[4][3];
    strain(p.dtk, v, ijac, de, vort, pkxj);
    // "midg on": the strain increment and spin from the mid-step geometry;
    // pkxj, of x(n), stays for the forces.
    if (p.midstep) midstepstrain(p.dtk, xyz, v, de, vort);
    const material& m = p.mlist[el.mat - 1];
    history& h = p.hlist[el.nhistory - 1];
    const double rho = m.density * h.vol0 / vol;
    const double c = m.wavespeed;
    double f[8][3];
    // The hourglass volume factor V^(2/3), of the forces and the stable step.
    const double vpow = p.hgmode <= 0 ? 0.0
                        : p.math      ? ownmath::pow(vol, hourglassdata::vexp)
                                      : std::pow(vol, hourglassdata::vexp);
    if (!p.bulk && m.etype != 1 && !p.stable) {
        elementtimestep(xyz, vol, c, p.dtmin, p.edist);
        materialdata::constitution(de, vort, rho, h, m, vol);
        nodalforce_kernel(pkxj, h.sm, h.sd, vol, f);
    } else {
        const double len = elementlength(xyz, vol, p.edist);
        materialdata::constitution(de, vort, rho, h, m, vol);
        // The wave speed of the step: the elastic one, or the equation of
        // state's at the element's new state where that is larger.
        double cs = c;
        if (m.etype == 1 && m.mtype != 1 && p.eosstep) {
            const double ce = materialdata::eos_wavespeed(m, rho / m.density - 1.0, rho, m.density,
                                                          -h.sm, m.young / (1.0 + m.poisson));
            if (ce > cs) cs = ce;
        }
        double dte = len / cs;
        double trd = 0.0;
        if (p.bulk) {
            // Volumetric strain rate tr D of the step.
            trd = p.dtk > 0.0 ? (de[0] + de[1] + de[2]) / p.dtk : 0.0;
            dte = viscousstep(len, cs, trd, p.q1, p.q2);
            h.q = viscouspressure(rho, len, cs, trd, p.q1, p.q2);
        }
        if (p.stable) dte = stableelementstep(p, m, v, xyz, pkxj, vol, h.vol0, len, cs, trd, vpow);
        if (p.dtmin >= dte) p.dtmin = dte;
        // The viscous pressure acts on the nodes only, never on the stored stress.
        nodalforce_kernel(pkxj, h.sm - h.q, h.sd, vol, f);
    }
    // Scatter: internal forces at all eight corners, then hourglass forces
    // (also apart for the energy balance).
    scatter_add(el.node, f, p.acc);
    if (p.hgmode < 0) invalidhourglass();
    if (p.hgmode != 0) {
        double fh[3][8];
        hourglassforcepow(p.hgmode, v, xyz, pkxj, vpow, rho, c, p.hgq, fh);
        scatter_add_t(el.node, fh, p.acc);
        if (p.hgacc) scatter_add_t(el.node, fh, p.hgacc);
    }
}

void elementscalar(elementpass& p, int e) { oneelement(p, e); }

double johnsoncookreturn(const material& m, double q, double sy, double ep0, double g3, double dtk,
                         double weaken, double& dp) {
    return materialdata::jcreturn(m, q, sy, ep0, g3, dtk, 1.0e-3, weaken, dp);
}

double curvereturnlane(const material& m, double q, double sy, double g3, double dtk, double den,
                       double weaken, double& ep, double& temp) {
    // Coupled damage weakens the Johnson-Cook models only (as svr4, svr5).
    if (m.mtype == 5) return materialdata::jcthreturn(m, q, sy, g3, dtk, den, weaken, ep, temp);
    return materialdata::hardeningreturn(m, q, sy, g3, ep);
}

// HEXDYN_ELASTIC_STEP=1 takes the step of equation-of-state materials from
// the elastic wave speed alone, as the solver did before it used the
// equation of state's own; for comparison runs only (such steps can be
// unstable in strong compression).
static bool eosstep() {
    static const bool on = [] {
        const char* v = std::getenv("HEXDYN_ELASTIC_STEP");
        return v == nullptr || std::strcmp(v, "1") != 0;
    }();
    return on;
}

void feforce(double tf) {
    elementdata::eledistortion = 1.0;
    simd::width width = simd::fromenvironment();

    const int np = particledata::nb_particle;
    double* acc = particledata::acc.data();
    const double* fp = particledata::fp.data();
    if (particledata::fpfunc.empty()) {
        for (int i = 0; i < 3 * np; ++i) acc[i] = fp[i] * tf;
    } else {
        // Loads of several time functions: each node's by the value of its own.
        const int* func = particledata::fpfunc.data();
        const double* value = timefunctiondata::current.data();
        for (int i = 0; i < 3 * np; ++i) acc[i] = fp[i] * value[func[i / 3] - 1];
    }

    elementpass p;
    // Once elements have eroded, the pass runs over the records of those
    // still in the model, in element order.
    if (failuredata::anyeroded) {
        p.ne = static_cast<int>(failuredata::active.size());
        p.elist = failuredata::active.data();
    } else if (!rigiddata::bodies.empty()) {
        // The elements of rigid sets stay out of the pass.
        p.ne = static_cast<int>(rigiddata::deformable.size());
        p.elist = rigiddata::deformable.data();
    } else {
        p.ne = elementdata::nb_element;
        p.elist = elementdata::element_list.data();
    }
    p.hlist = materialdata::history_list.data();
    p.mlist = materialdata::mat_list.data();
    p.pos = particledata::pos.data();
    p.vel = particledata::vel.data();
    p.acc = acc;
    p.dtk = simulation::dtk;
    p.hgmode = hourglassmode();
    p.hgq = materialdata::hourglass.coef;
    // The rigid elements bound the step with their step in the deck geometry.
    p.dtmin = rigiddata::step < simulation::dtk1 ? rigiddata::step : simulation::dtk1;
    p.bulk = materialdata::bulk.on;
    p.q1 = materialdata::bulk.q1;
    p.q2 = materialdata::bulk.q2;
    p.eosstep = eosstep();
    p.stable = simulation::stablestep;
    // The energy balance's hourglass forces: zero on entry (it zeroes them
    // as it takes their work after the node update).
    p.hgacc = particledata::fhg.empty() ? nullptr : particledata::fhg.data();
    p.edist = elementdata::eledistortion;
    p.midstep = elementdata::midstep;
    p.math = materialdata::solvermath;

    // The gathers of the AVX2 and AVX-512 paths index the node arrays with
    // 32-bit integers; beyond that the SSE2 path (same bits) runs.
    if ((width == simd::width::avx2 || width == simd::width::avx512) && 3LL * np > INT_MAX)
        width = simd::width::sse2;
    // An unknown hourglass method stops at the first element: scalar path.
    if (width == simd::width::scalar || p.hgmode < 0) {
        // A copy whose address is never taken, so that the running minima
        // and the pointers stay in registers.
        elementpass q = p;
        for (int e = 0; e < q.ne; ++e) oneelement(q, e);
        p.dtmin = q.dtmin;
        p.edist = q.edist;
    } else if (width == simd::width::sse2) {
        elementpass_sse2(p);
    } else if (width == simd::width::avx2) {
        elementpass_avx2(p);
    } else {
        elementpass_avx512(p);
    }
    elementdata::eledistortion = p.edist;
    using simulation::dtk1;
    dtk1 = p.dtmin;
    // A process whose elements have all eroded keeps the step it took; the
    // exchange takes the shortest of the job's.
    if (failuredata::anyeroded && p.ne == 0) {
        dtk1 = simulation::dtk;
        return;
    }

    if (std::fabs(dtk1 - 1.0e6) > static_cast<double>(1.0e-5f)) {
        const double scaled = dtk1 * simulation::dtscale;
        const double limit = static_cast<double>(1.05f) * simulation::dtk1old;
        dtk1 = scaled < limit ? scaled : limit;
        simulation::dtk1old = dtk1;
    }
}
