#include "element/feforce.hpp"

#include "element/corners.hpp"
#include "element/forces.hpp"
#include "element/geometry.hpp"
#include "element/timestep.hpp"
#include "material/constitution.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
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

void feforce(double tf) {
    using simulation::dtk1;
    elementdata::eledistortion = 1.0;

    const int np = particledata::nb_particle;
    double* acc = particledata::acc.data();
    const double* fp = particledata::fp.data();
    const double* pos = particledata::pos.data();
    const double* vel = particledata::vel.data();
    for (int i = 0; i < 3 * np; ++i) acc[i] = fp[i] * tf;

    const double dtk = simulation::dtk;
    double dtmin = dtk1;
    double edist = elementdata::eledistortion;
    const int ne = elementdata::nb_element;
    const element* elist = elementdata::element_list.data();
    history* hlist = materialdata::history_list.data();
    const material* mlist = materialdata::mat_list.data();
    const int hgmode = hourglassmode();
    const double hgq = materialdata::hourglass.coef;

    for (int e = 0; e < ne; ++e) {
        const element& el = elist[e];
        // Gather corner coordinates and velocities.
        double xyz[8][3], v[8][3];
        gather_corners(el.node, pos, vel, xyz, v);

        // Kernels.
        double vol, ijac[3][3];
        jacobian(xyz, vol, ijac);
        if (!(vol > 0.0)) zerovolume(e + 1);
        double de[6], vort[3], pkxj[4][3];
        strain(dtk, v, ijac, de, vort, pkxj);
        const material& m = mlist[el.mat - 1];
        history& h = hlist[el.nhistory - 1];
        const double rho = m.density * h.vol0 / vol;
        const double c = m.wavespeed;
        elementtimestep(xyz, vol, c, dtmin, edist);
        materialdata::constitution(de, vort, rho, h, m, vol);
        double f[8][3];
        nodalforce_kernel(pkxj, h.sm, h.sd, vol, f);
        // Scatter: internal forces at all eight corners, then hourglass forces.
        scatter_add(el.node, f, acc);
        if (hgmode < 0) invalidhourglass();
        if (hgmode != 0) {
            double fh[3][8];
            hourglassforce(hgmode, v, xyz, pkxj, vol, rho, c, hgq, fh);
            scatter_add_t(el.node, fh, acc);
        }
    }
    elementdata::eledistortion = edist;
    dtk1 = dtmin;

    if (std::fabs(dtk1 - 1.0e6) > static_cast<double>(1.0e-5f)) {
        const double scaled = dtk1 * simulation::dtscale;
        const double limit = static_cast<double>(1.05f) * simulation::dtk1old;
        dtk1 = scaled < limit ? scaled : limit;
        simulation::dtk1old = dtk1;
    }
}
