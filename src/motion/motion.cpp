#include "motion/motion.hpp"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "parallel/commnodes.hpp"
#include "parallel/ownership.hpp"

namespace motion {

namespace {

std::vector<target> driven;  // the driven node components, in record then member order
std::vector<double> owned;   // per node: 1 where this process counts it in the force sums
// Node components a constraint changed in this step's node update: index,
// v(n-1/2) and F(n)/m before the change; the first change of a component
// is the one kept.
struct change {
    std::size_t i;
    double v, a;
};
std::vector<change> changes;

}  // namespace

void start() {
    driven.clear();
    const std::size_t nn = static_cast<std::size_t>(particledata::nb_particle);
    for (std::size_t r = 0; r < motiondata::drives.size(); ++r) {
        const drive& d = motiondata::drives[r];
        const std::size_t c = static_cast<std::size_t>(d.comp - 1);
        for (int j = 0; j < elementdata::complen[c]; ++j) {
            const int node = elementdata::compmember[c * nn + static_cast<std::size_t>(j)];
            driven.push_back(
                {3 * static_cast<std::size_t>(node - 1) + static_cast<std::size_t>(d.axis), r,
                 0.0});
        }
    }
    changes.clear();
    // Every process takes part in the sums of the forces: all decks must
    // ask for the same number of them (hexdyn-partition gives every deck
    // every "reac" record). A process whose deck drives nothing still
    // writes the motion column of the energy balance.
    motiondata::driven = !motiondata::drives.empty();
    if (commnodes::nprocs > 1) {
        const int n = static_cast<int>(motiondata::reactcomp.size());
        int local[3] = {n, -n, motiondata::driven ? 1 : 0}, most[3] = {0, 0, 0};
        MPI_Allreduce(local, most, 3, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
        if (most[0] != -most[1])
            errorstop::stop("*** Error *** the decks of the processes ask for " +
                            std::to_string(-most[1]) + " to " + std::to_string(most[0]) +
                            " constraint forces (\"reac\"): every deck must give the same records");
        motiondata::driven = most[2] != 0;
    }
    if (reacting()) {
        owned = commnodes::ownednodes();
        motiondata::reaction.assign(3 * nn, 0.0);
    }
}

const std::vector<target>& targets(const std::vector<double>& values, const double* x, double dt) {
    const double* x0 = motiondata::origin.data();
    for (target& t : driven) {
        const double value = values[t.drive];
        t.v = motiondata::drives[t.drive].disp ? (x0[t.i] + value - x[t.i]) / dt : value;
    }
    return driven;
}

bool reacting() { return !motiondata::reactcomp.empty() || !elementdata::contact.forces.empty(); }

void constrained(std::size_t i, double v, double a) { changes.push_back({i, v, a}); }

void settle(const double* v, const double* m, double dtn) {
    std::vector<double>& r = motiondata::reaction;
    // The forces of the last step's constraints go, this step's come.
    for (double& f : r) f = 0.0;
    // A component changed twice (the plane, then "fixd" or "move") is taken
    // once, with its values before the first change.
    std::stable_sort(changes.begin(), changes.end(),
                     [](const change& x, const change& y) { return x.i < y.i; });
    for (std::size_t j = 0; j < changes.size(); ++j) {
        const change& c = changes[j];
        if (j > 0 && changes[j - 1].i == c.i) continue;
        const std::size_t k = c.i / 3;
        r[c.i] = m[k] * (v[c.i] - c.v) / dtn - m[k] * c.a;
    }
    changes.clear();
}

std::vector<double> localforces(const std::vector<double>& contactsets) {
    const std::size_t nn = static_cast<std::size_t>(particledata::nb_particle);
    const double* r = motiondata::reaction.data();
    std::vector<double> f(3 * motiondata::reactcomp.size(), 0.0);
    for (std::size_t k = 0; k < motiondata::reactcomp.size(); ++k) {
        const int comp = motiondata::reactcomp[k];
        if (comp < 1) continue;
        const std::size_t c = static_cast<std::size_t>(comp - 1);
        for (int j = 0; j < elementdata::complen[c]; ++j) {
            const std::size_t node = static_cast<std::size_t>(
                elementdata::compmember[c * nn + static_cast<std::size_t>(j)] - 1);
            for (std::size_t a = 0; a < 3; ++a) f[3 * k + a] += owned[node] * r[3 * node + a];
        }
    }
    f.insert(f.end(), contactsets.begin(), contactsets.end());
    return f;
}

std::vector<double> globalforces(const std::vector<double>& contactsets) {
    const std::vector<double> local = localforces(contactsets);
    const int n = static_cast<int>(local.size());
    std::vector<double> all(
        commnodes::myid == 0 ? local.size() * static_cast<std::size_t>(commnodes::nprocs) : 0);
    if (commnodes::nprocs == 1) return local;
    MPI_Gather(local.data(), n, MPI_DOUBLE, all.data(), n, MPI_DOUBLE, 0, MPI_COMM_WORLD);
    std::vector<double> sum(local.size(), 0.0);
    if (commnodes::myid != 0) return sum;
    // Process by process, always in the same order: the sums do not depend
    // on the order in which the messages arrive.
    for (int p = 0; p < commnodes::nprocs; ++p)
        for (std::size_t j = 0; j < local.size(); ++j)
            sum[j] += all[static_cast<std::size_t>(p) * local.size() + j];
    return sum;
}

std::string header() {
    std::string h = "#            time";
    char field[32];
    for (const int name : motiondata::reactname)
        for (const char* a : {"x", "y", "z"}) {
            std::snprintf(field, sizeof field, "%17s",
                          ("reac" + std::to_string(name) + "_" + a).c_str());
            h += field;
        }
    for (const std::array<int, 2>& s : elementdata::contact.forces)
        for (const char* a : {"x", "y", "z"}) {
            std::snprintf(
                field, sizeof field, "%17s",
                ("cont" + std::to_string(s[0]) + "_" + std::to_string(s[1]) + "_" + a).c_str());
            h += field;
        }
    return h;
}

std::string record(double time, const std::vector<double>& forces) {
    std::string line;
    records::put_column(line, time);
    for (const double f : forces) records::put_column(line, f);
    return line;
}

void write(double time, const std::vector<double>& contactsets) {
    const std::vector<double> f = globalforces(contactsets);
    const bool first = motiondata::nforces == 0;
    motiondata::nforces += 1;
    if (commnodes::myid != 0) return;
    std::FILE* out = std::fopen(filename, first ? "w" : "a");
    if (!out)
        errorstop::stop(std::string("*** Error *** cannot open file ") + filename + " for writing");
    bool ok = true;
    if (first) ok = std::fprintf(out, "%s\n", header().c_str()) > 0;
    ok = std::fprintf(out, "%s\n", record(time, f).c_str()) > 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (!ok) errorstop::stop(std::string("*** Error *** writing file ") + filename + " failed");
}

}  // namespace motion
