#include "control/energy.hpp"

#include <mpi.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "parallel/ownership.hpp"

namespace energy {

namespace {

std::vector<double> felement;  // 3 x nb_particle, element forces of this process's share
std::vector<double> fsum;      // 3 x nb_particle, summed nodal forces
std::vector<double> vstart;    // 3 x nb_particle, velocities at the start of the step
double kinetic0 = 0.0;         // kinetic energy of the initial velocities, nodes counted here

}  // namespace

void resume() {
    particledata::owned = commnodes::ownednodes();
    const std::size_t n3 = particledata::vel.size();
    felement.assign(n3, 0.0);
    fsum.assign(n3, 0.0);
    vstart.assign(n3, 0.0);
}

void start() {
    resume();
    restore({0.0, 0.0, 0.0, 0.0, 0});
}

sums saved() {
    return {kinetic0, simulation::engexternal, simulation::engelement, simulation::engplane,
            dataout::nenergy};
}

void restore(const sums& s) {
    kinetic0 = s.initial;
    simulation::engexternal = s.external;
    simulation::engelement = s.element;
    simulation::engplane = s.plane;
    dataout::nenergy = static_cast<int>(s.records);
}

void afterpass(double tf) {
    const double* a = particledata::acc.data();
    const double* fp = particledata::fp.data();
    for (std::size_t i = 0; i < felement.size(); ++i) felement[i] = a[i] - fp[i] * tf;
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
    const double half = 0.5 * (simulation::dtk + simulation::dtk1);
    const double* m = particledata::mp.data();
    const double* fp = particledata::fp.data();
    const double* vnew = particledata::vel.data();
    double wext = 0.0, wel = 0.0, plane = 0.0;
    for (std::size_t k = 0; k < particledata::owned.size(); ++k) {
        double lost = 0.0;
        for (std::size_t i = 3 * k; i < 3 * k + 3; ++i) {
            const double acc = m[k] != 0.0 ? fsum[i] / m[k] : 0.0;
            const double vfree = vstart[i] + acc * half;
            const double vmid = 0.5 * (vstart[i] + vfree);
            wext += fp[i] * tf * vmid * half;
            wel += felement[i] * vmid * half;
            lost += vfree * vfree - vnew[i] * vnew[i];
        }
        plane += particledata::owned[k] * 0.5 * m[k] * lost;
    }
    simulation::engexternal += wext;
    simulation::engelement += wel;
    simulation::engplane += plane;
}

balance global() {
    const double* m = particledata::mp.data();
    const double* v = particledata::vel.data();
    double ke = 0.0;
    for (std::size_t k = 0; k < particledata::owned.size(); ++k) {
        const double* vk = v + 3 * k;
        ke += particledata::owned[k] * 0.5 * m[k] * (vk[0] * vk[0] + vk[1] * vk[1] + vk[2] * vk[2]);
    }
    double local[6] = {ke,
                       simulation::engstrain,
                       simulation::engelement,
                       simulation::engexternal,
                       simulation::engplane,
                       kinetic0};
    double sum[6] = {};
    MPI_Allreduce(local, sum, 6, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
    balance b{};
    b.kinetic = sum[0];
    b.internal = sum[1];
    b.hourglass = 0.0 - sum[2] - sum[1];
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

void write(double time) {
    const balance b = global();
    if (commnodes::myid != 0) return;
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
}

}  // namespace energy
