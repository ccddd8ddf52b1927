#include "walls/walls.hpp"

#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "output/units.hpp"
#include "parallel/ownership.hpp"

namespace walls {

std::vector<wall> list;

namespace {

// Per wall, in this order: momentum given to the counted nodes since the last
// record (x, y, z), energy taken out over the whole steps, and its part after
// t(n) of the last step.
constexpr std::size_t perwall = 5;
std::vector<double> sums;
// The impulses of this step on nodes of rigid bodies: wall, node, m dv and
// the velocity v(n+1/2) the wall's work was taken against (the body then
// gives the node another).
struct bodyimpulse {
    std::size_t wall, node;
    vec3 mdv, v;
};
std::vector<bodyimpulse> onbodies;
double interval = 0.0;        // time the steps since the last record span, sum of dt(n), s
std::int64_t records = 0;     // records written to walls.dat
std::int64_t filebytes = 0;   // length of walls.dat at a restored checkpoint (process 0)
std::vector<double> counted;  // per node: 1 where this process counts it in the sums
std::vector<char> held;       // per node component: 1 where "fixd" holds it

// Members (0-based node indices) of wall w's nodes: its component, or every node.
template <class Visit>
void eachnode(const wall& w, int nodes, const Visit& visit) {
    if (w.comp <= 0) {
        for (int k = 0; k < nodes; ++k) visit(static_cast<std::size_t>(k));
        return;
    }
    const std::size_t c = static_cast<std::size_t>(w.comp - 1);
    const int len = elementdata::complen[c];
    const int* member = &elementdata::compmember[c * static_cast<std::size_t>(nodes)];
    for (int j = 0; j < len; ++j) visit(static_cast<std::size_t>(member[j] - 1));
}

void prepare() {
    const int n = particledata::nb_particle;
    counted = commnodes::nprocs > 1 ? commnodes::ownednodes()
                                    : std::vector<double>(static_cast<std::size_t>(n), 1.0);
    held.assign(3 * static_cast<std::size_t>(n), 0);
    for (const fixity& f : elementdata::fixities) {
        const std::size_t c = static_cast<std::size_t>(f.comp - 1);
        const int* member = &elementdata::compmember[c * static_cast<std::size_t>(n)];
        for (int j = 0; j < elementdata::complen[c]; ++j)
            for (std::size_t i = 0; i < 3; ++i)
                if (f.axis[i] != 0) held[3 * static_cast<std::size_t>(member[j] - 1) + i] = 1;
    }
}

// The per-process values of every process, summed in process order: the same
// sum on every process, whatever the reduction algorithm of the MPI library.
std::vector<double> inorder(const std::vector<double>& mine) {
    const std::size_t m = mine.size();
    std::vector<double> all(m * static_cast<std::size_t>(commnodes::nprocs));
    MPI_Allgather(mine.data(), static_cast<int>(m), MPI_DOUBLE, all.data(), static_cast<int>(m),
                  MPI_DOUBLE, MPI_COMM_WORLD);
    std::vector<double> sum(m, 0.0);
    for (std::size_t p = 0; p < static_cast<std::size_t>(commnodes::nprocs); ++p)
        for (std::size_t i = 0; i < m; ++i) sum[i] += all[p * m + i];
    return sum;
}

}  // namespace

void reset() {
    std::vector<wall>().swap(list);
    std::vector<double>().swap(sums);
    std::vector<double>().swap(counted);
    std::vector<char>().swap(held);
    interval = 0.0;
    records = filebytes = 0;
}

void resume() {
    prepare();
    if (sums.size() != perwall * list.size()) sums.assign(perwall * list.size(), 0.0);
}

void start() {
    sums.assign(perwall * list.size(), 0.0);
    interval = 0.0;
    records = filebytes = 0;
    resume();
    // A node that starts behind a wall would be thrown out in one step: it is
    // put on the surface at once. Nodes within rounding of the surface stay.
    const int n = particledata::nb_particle;
    double* x = particledata::pos.data();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const wall& w = list[i];
        int moved = 0;
        double deepest = 0.0;
        eachnode(w, n, [&](std::size_t k) {
            const vec3 p{x[3 * k], x[3 * k + 1], x[3 * k + 2]};
            const contactpoint c = locate(w, p, 0.0);
            // A finite plane does not reach the nodes behind it.
            if (!c.acts || w.sizea > 0.0) return;
            const double scale = std::max(
                {std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2]), w.radius, length(w.point)});
            if (!(c.gap < -1.0e-9 * scale)) return;
            for (std::size_t j = 0; j < 3; ++j) x[3 * k + j] -= c.gap * c.normal[j];
            ++moved;
            deepest = std::max(deepest, -c.gap);
        });
        if (moved > 0) {
            char depth[32];
            std::snprintf(depth, sizeof depth, "%.3E", deepest);
            errorstop::writeline(
                " *** Warning *** wall " + std::to_string(i + 1) + ": " + std::to_string(moved) +
                " node(s) of process " + std::to_string(commnodes::myid) +
                " start behind its surface (up to " + depth + " m) and are put on it");
        }
    }
}

void constrain(double* acc, const double* vel, const double* pos, const double* mass, int nodes,
               double time, double dtk, double dtk1) {
    const double dtn = 0.5 * (dtk + dtk1);
    interval += dtn;
    if (!(dtk1 > 0.0) || !(dtn > 0.0)) return;
    const double end = time + dtk1;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const wall& w = list[i];
        double* s = &sums[perwall * i];
        s[4] = 0.0;
        eachnode(w, nodes, [&](std::size_t k) {
            if (mass[k] == 0.0) return;
            double* a = acc + 3 * k;
            const double* v = vel + 3 * k;
            const double* x = pos + 3 * k;
            // A finite plane holds only the nodes in front of it: one that
            // went round its edge stays behind it.
            if (w.sizea > 0.0) {
                const contactpoint now = locate(w, {x[0], x[1], x[2]}, time);
                const double reach = 1.0e-6 * std::max(w.sizea, w.sizeb);
                if (now.gap < -reach) return;
            }
            const vec3 vp{v[0] + a[0] * dtn, v[1] + a[1] * dtn, v[2] + a[2] * dtn};
            const vec3 xp{x[0] + vp[0] * dtk1, x[1] + vp[1] * dtk1, x[2] + vp[2] * dtk1};
            const contactpoint c = locate(w, xp, end);
            vec3 dv = correction(w, c, vp, dtk1);
            if (dv[0] == 0.0 && dv[1] == 0.0 && dv[2] == 0.0) return;
            // A component held by "fixd" stays held.
            for (std::size_t j = 0; j < 3; ++j)
                if (held[3 * k + j]) dv[j] = 0.0;
            const double m = mass[k] * counted[k];
            double before = 0.0, after = 0.0;
            for (std::size_t j = 0; j < 3; ++j) {
                a[j] += dv[j] / dtn;
                s[j] += m * dv[j];
                // The impulse m dv does work against v(n-1/2) in the half
                // step before t(n) and against v(n+1/2) after it.
                before += m * dv[j] * v[j];
                after += m * dv[j] * (vp[j] + dv[j]);
            }
            s[3] -= 0.5 * (before + after);
            s[4] -= 0.5 * after;
            if (!rigiddata::nodebody.empty() && rigiddata::nodebody[k] != 0)
                onbodies.push_back({i,
                                    k,
                                    {m * dv[0], m * dv[1], m * dv[2]},
                                    {vp[0] + dv[0], vp[1] + dv[1], vp[2] + dv[2]}});
        });
    }
}

void settle(const double* vel) {
    for (const bodyimpulse& b : onbodies) {
        double* s = &sums[perwall * b.wall];
        double change = 0.0;
        for (std::size_t j = 0; j < 3; ++j) change += b.mdv[j] * (vel[3 * b.node + j] - b.v[j]);
        s[3] -= 0.5 * change;
        s[4] -= 0.5 * change;
    }
    onbodies.clear();
}

double work() {
    if (list.empty()) return 0.0;
    double mine = 0.0;
    for (std::size_t i = 0; i < list.size(); ++i)
        mine += sums[perwall * i + 3] - sums[perwall * i + 4];
    return inorder({mine})[0];
}

std::string header(std::size_t nwalls) {
    std::string h = "#            time";
    char field[32];
    for (std::size_t i = 1; i <= nwalls; ++i)
        for (const char* name : {"fx_", "fy_", "fz_", "work_"}) {
            std::snprintf(field, sizeof field, "%17s", (name + std::to_string(i)).c_str());
            h += field;
        }
    return h;
}

std::string record(double time, const std::vector<double>& model, double span) {
    std::string line;
    const auto put = [&](double v) { records::put_column(line, v); };
    put(time);
    for (std::size_t i = 0; i + 3 < model.size(); i += 4) {
        for (std::size_t j = 0; j < 3; ++j) put(span > 0.0 ? 0.0 - model[i + j] / span : 0.0);
        put(model[i + 3]);
    }
    return line;
}

void write(double time) {
    if (list.empty()) return;
    std::vector<double> mine(4 * list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const double* s = &sums[perwall * i];
        mine[4 * i] = s[0];
        mine[4 * i + 1] = s[1];
        mine[4 * i + 2] = s[2];
        mine[4 * i + 3] = s[3] - s[4];
    }
    const std::vector<double> model = inorder(mine);
    const double span = interval;
    for (std::size_t i = 0; i < list.size(); ++i)
        for (std::size_t j = 0; j < 3; ++j) sums[perwall * i + j] = 0.0;
    interval = 0.0;
    const bool first = records == 0;
    ++records;
    if (commnodes::myid != 0) return;
    std::FILE* f = std::fopen(filename, first ? "w" : "a");
    if (!f)
        errorstop::stop(std::string("*** Error *** cannot open file ") + filename + " for writing");
    bool ok = true;
    if (first) ok = std::fprintf(f, "%s\n", header(list.size()).c_str()) > 0;
    ok = std::fprintf(f, "%s\n", record(time, model, span).c_str()) > 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) errorstop::stop(std::string("*** Error *** writing file ") + filename + " failed");
}

std::size_t savedsize() { return perwall * list.size() + 3; }

std::vector<double> saved() {
    std::vector<double> state = sums;
    state.resize(perwall * list.size(), 0.0);
    state.push_back(interval);
    state.push_back(static_cast<double>(records));
    double bytes = 0.0;
    if (commnodes::myid == 0 && records > 0)
        bytes = static_cast<double>(ffi::lengthforcheckpoint(filename));
    state.push_back(bytes);
    return state;
}

void restore(const std::vector<double>& state) {
    const std::size_t n = perwall * list.size();
    sums.assign(state.begin(), state.begin() + static_cast<std::ptrdiff_t>(n));
    interval = state[n];
    records = static_cast<std::int64_t>(state[n + 1]);
    filebytes = static_cast<std::int64_t>(state[n + 2]);
}

void cutback(const std::string& name) {
    if (commnodes::myid != 0 || records <= 0) return;
    ffi::cutbackfile(name, filename, filebytes);
}

}  // namespace walls
