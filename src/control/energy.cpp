#include "control/energy.hpp"

#include <mpi.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "parallel/ownership.hpp"

namespace energy {

namespace {

std::vector<double> fsum;    // 3 x nb_particle, summed nodal forces F(n)
std::vector<double> vstart;  // 3 x nb_particle, velocities v(n-1/2)
double kinetic0 = 0.0;       // kinetic energy of the initial velocities, nodes counted here
double kineticnow = 0.0;     // m v(n-1/2).v(n+1/2)/2 of the last step, nodes counted here
// The halves after t(n) of the last step's work, already in the running sums
// and taken out of them for the record at t(n).
double afterexternal = 0.0, afterhourglass = 0.0, afterplane = 0.0;

}  // namespace

void resume() {
    particledata::owned = commnodes::ownednodes();
    const std::size_t n3 = particledata::vel.size();
    particledata::fhg.assign(n3, 0.0);
    fsum.assign(n3, 0.0);
    vstart.assign(n3, 0.0);
    kineticnow = afterexternal = afterhourglass = afterplane = 0.0;
}

void start() {
    resume();
    restore({0.0, 0.0, 0.0, 0.0, 0});
}

sums saved() {
    return {kinetic0, simulation::engexternal, simulation::enghourglass, simulation::engplane,
            dataout::nenergy};
}

void restore(const sums& s) {
    kinetic0 = s.initial;
    simulation::engexternal = s.external;
    simulation::enghourglass = s.hourglass;
    simulation::engplane = s.plane;
    dataout::nenergy = static_cast<int>(s.records);
}

void afterexchange() {
    fsum = particledata::acc;
    vstart = particledata::vel;
    if (simulation::istep == 1) {
        // The masses of shared nodes are summed by now.
        const double* m = particledata::mp.data();
        double e = 0.0;
        for (std::size_t k = 0; k < particledata::owned.size(); ++k) {
            const double* v = &vstart[3 * k];
            e += particledata::owned[k] * 0.5 * m[k] * (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        }
        kinetic0 = e;
    }
}

void afterupdate(double tf) {
    // dt(n), and half of it for each half of the step's work.
    const double dtn = 0.5 * (simulation::dtk + simulation::dtk1);
    const double half = 0.5 * dtn;
    const double* m = particledata::mp.data();
    const double* fp = particledata::fp.data();
    const double* fh = particledata::fhg.data();
    const double* vp = particledata::vel.data();
    const double* vm = vstart.data();
    double extb = 0.0, exta = 0.0, hgb = 0.0, hga = 0.0, reb = 0.0, rea = 0.0, ke = 0.0;
    for (std::size_t k = 0; k < particledata::owned.size(); ++k) {
        double rb = 0.0, ra = 0.0, kk = 0.0;
        for (std::size_t i = 3 * k; i < 3 * k + 3; ++i) {
            const double fe = fp[i] * tf;
            extb += fe * vm[i];
            exta += fe * vp[i];
            hgb += fh[i] * vm[i];
            hga += fh[i] * vp[i];
            // The reaction's impulse over the step: what the velocity change
            // holds beyond the summed forces (rounding at a free node).
            const double r = m[k] * (vp[i] - vm[i]) - fsum[i] * dtn;
            rb += r * vm[i];
            ra += r * vp[i];
            kk += vm[i] * vp[i];
        }
        reb += particledata::owned[k] * rb;
        rea += particledata::owned[k] * ra;
        ke += particledata::owned[k] * 0.5 * m[k] * kk;
    }
    kineticnow = ke;
    afterexternal = exta * half;
    afterhourglass = hga * half;
    afterplane = -0.5 * rea;
    simulation::engexternal += extb * half + afterexternal;
    simulation::enghourglass += hgb * half + afterhourglass;
    simulation::engplane += -0.5 * reb + afterplane;
}

balance global() {
    double local[6] = {kineticnow,
                       simulation::engstrain,
                       simulation::enghourglass - afterhourglass,
                       simulation::engexternal - afterexternal,
                       simulation::engplane - afterplane,
                       kinetic0};
    double sum[6] = {};
    MPI_Allreduce(local, sum, 6, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
    balance b{};
    b.kinetic = sum[0];
    b.internal = sum[1];
    b.hourglass = 0.0 - sum[2];
    b.external = sum[3];
    b.plane = sum[4];
    b.initial = sum[5];
    b.total = b.kinetic + b.internal + b.hourglass;
    const double reference = b.initial + b.external;
    const double err = b.total + b.plane - reference;
    b.error = reference != 0.0 ? err / std::fabs(reference) : err;
    return b;
}

std::string header() {
    return "#            time          kinetic         internal        hourglass"
           "    external_work       plane_work            total     energy_error";
}

std::string record(double time, const balance& b) {
    char line[256];
    std::snprintf(line, sizeof line, "%17.9E%17.9E%17.9E%17.9E%17.9E%17.9E%17.9E%17.9E", time,
                  b.kinetic, b.internal, b.hourglass, b.external, b.plane, b.total, b.error);
    return line;
}

// A run whose balance has run away stops after its record is on disk; every
// process holds the same sums, so all stop together.
static void checkrunaway(const balance& b) {
    if (std::fabs(b.error) <= runaway) return;
    std::string e;
    records::put_e(e, b.error, 10, 3);
    e.erase(0, e.find_first_not_of(' '));
    errorstop::stop("*** Error *** step " + std::to_string(simulation::istep) +
                    ": the energy balance is off by " + e +
                    " times the initial energy and the work of the loads: the run is unstable; "
                    "lower the step scale (dtsc), switch on the stable step (stab on) or bulk "
                    "viscosity (bulk)");
}

void write(double time) {
    const balance b = global();
    if (commnodes::myid != 0) {
        checkrunaway(b);
        return;
    }
    const bool first = dataout::nenergy == 0;
    std::FILE* f = std::fopen(filename, first ? "w" : "a");
    if (!f)
        errorstop::stop(std::string("*** Error *** cannot open file ") + filename + " for writing");
    bool ok = true;
    if (first) ok = std::fprintf(f, "%s\n", header().c_str()) > 0;
    ok = std::fprintf(f, "%s\n", record(time, b).c_str()) > 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) errorstop::stop(std::string("*** Error *** writing file ") + filename + " failed");
    dataout::nenergy += 1;
    checkrunaway(b);
}

}  // namespace energy
