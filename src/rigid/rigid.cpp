#include "rigid/rigid.hpp"

#include <mpi.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "element/corners.hpp"
#include "element/geometry.hpp"
#include "element/timestep.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "output/units.hpp"
#include "parallel/ownership.hpp"

namespace rigid {

namespace {

// The bodies' nodes on this process (0-based), their body (0-based) and
// their place r0 about the body's centre in the deck, x y z.
std::vector<std::size_t> nodes;
std::vector<std::size_t> owner;
std::vector<double> offsets;
// 1 where this process counts the node in the sums (every node on one
// process).
std::vector<double> counted;
std::vector<target> list;
// Per body, the rotation R(n) the step started from (for the node places).
std::vector<double> rotation;

void matrix(const double q[4], double r[3][3]) {
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    r[0][0] = 1.0 - 2.0 * (y * y + z * z);
    r[0][1] = 2.0 * (x * y - w * z);
    r[0][2] = 2.0 * (x * z + w * y);
    r[1][0] = 2.0 * (x * y + w * z);
    r[1][1] = 1.0 - 2.0 * (x * x + z * z);
    r[1][2] = 2.0 * (y * z - w * x);
    r[2][0] = 2.0 * (x * z - w * y);
    r[2][1] = 2.0 * (y * z + w * x);
    r[2][2] = 1.0 - 2.0 * (x * x + y * y);
}

void times(const double a[3][3], const double b[3], double c[3]) {
    for (int i = 0; i < 3; ++i) c[i] = a[i][0] * b[0] + a[i][1] * b[1] + a[i][2] * b[2];
}

void transposedtimes(const double a[3][3], const double b[3], double c[3]) {
    for (int i = 0; i < 3; ++i) c[i] = a[0][i] * b[0] + a[1][i] * b[1] + a[2][i] * b[2];
}

void cross(const double a[3], const double b[3], double c[3]) {
    c[0] = a[1] * b[2] - a[2] * b[1];
    c[1] = a[2] * b[0] - a[0] * b[2];
    c[2] = a[0] * b[1] - a[1] * b[0];
}

// Sums of `part` (the same length on every process) over the processes in
// process order, on every process.
std::vector<double> inorder(const std::vector<double>& part) {
    if (commnodes::nprocs <= 1) return part;
    const std::size_t n = part.size();
    std::vector<double> all(n * static_cast<std::size_t>(commnodes::nprocs));
    MPI_Allgather(part.data(), static_cast<int>(n), MPI_DOUBLE, all.data(), static_cast<int>(n),
                  MPI_DOUBLE, MPI_COMM_WORLD);
    std::vector<double> sum(n, 0.0);
    for (int p = 0; p < commnodes::nprocs; ++p)
        for (std::size_t k = 0; k < n; ++k)
            sum[k] = sum[k] + all[static_cast<std::size_t>(p) * n + k];
    return sum;
}

}  // namespace

void angularvelocity(const double q[4], const double jinv[3][3], const double l[3], double w[3]) {
    double r[3][3], p[3], o[3];
    matrix(q, r);
    transposedtimes(r, l, p);
    times(jinv, p, o);
    times(r, o, w);
}

double kinetic(double mass, const double vel[3], const double w[3], const double l[3]) {
    return 0.5 * mass * (vel[0] * vel[0] + vel[1] * vel[1] + vel[2] * vel[2]) +
           0.5 * (w[0] * l[0] + w[1] * l[1] + w[2] * l[2]);
}

void rotate(double q[4], const double jinv[3][3], const double l[3], double h) {
    double r[3][3], pa[3], pb[3], pm[3], wm[3], c[3];
    matrix(q, r);
    transposedtimes(r, l, pa);
    const double size = std::sqrt(pa[0] * pa[0] + pa[1] * pa[1] + pa[2] * pa[2]);
    for (int i = 0; i < 3; ++i) pb[i] = pa[i];
    for (int i = 0; i < 3; ++i) pm[i] = pa[i];
    times(jinv, pm, wm);
    // The map contracts by about h |w| per pass: a few passes reach rounding.
    for (int pass = 0; pass < 100; ++pass) {
        for (int i = 0; i < 3; ++i) pm[i] = 0.5 * (pa[i] + pb[i]);
        times(jinv, pm, wm);
        cross(pm, wm, c);
        double change = 0.0;
        for (int i = 0; i < 3; ++i) {
            const double next = pa[i] + h * c[i];
            change = std::fmax(change, std::fabs(next - pb[i]));
            pb[i] = next;
        }
        if (change <= 1.0e-15 * size) break;
    }
    for (int i = 0; i < 3; ++i) pm[i] = 0.5 * (pa[i] + pb[i]);
    times(jinv, pm, wm);
    // cay(h W) is the rotation by 2 atan(h |W| / 2) about W: the quaternion
    // (1, h W / 2) normalised, applied on the body side.
    double d[4] = {1.0, 0.5 * h * wm[0], 0.5 * h * wm[1], 0.5 * h * wm[2]};
    const double nd = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] + d[3] * d[3]);
    for (double& e : d) e = e / nd;
    const double a[4] = {q[0], q[1], q[2], q[3]};
    q[0] = a[0] * d[0] - a[1] * d[1] - a[2] * d[2] - a[3] * d[3];
    q[1] = a[0] * d[1] + a[1] * d[0] + a[2] * d[3] - a[3] * d[2];
    q[2] = a[0] * d[2] - a[1] * d[3] + a[2] * d[0] + a[3] * d[1];
    q[3] = a[0] * d[3] + a[1] * d[2] - a[2] * d[1] + a[3] * d[0];
    const double nq = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (int i = 0; i < 4; ++i) q[i] = q[i] / nq;
}

void prepare() {
    using namespace rigiddata;
    const std::size_t nb = bodies.size();
    const int np = particledata::nb_particle;
    setbody.assign(static_cast<std::size_t>(materialdata::nb_mat), 0);
    for (std::size_t b = 0; b < nb; ++b)
        setbody[static_cast<std::size_t>(bodies[b].set - 1)] = static_cast<int>(b + 1);
    nodebody.assign(static_cast<std::size_t>(np), 0);
    deformable.clear();
    const double* x = particledata::pos.data();
    double shortest = 1.0e6;
    for (const element& el : elementdata::element_list) {
        const int body = setbody[static_cast<std::size_t>(el.mat - 1)];
        if (body == 0) {
            deformable.push_back(el);
            continue;
        }
        for (const int k : el.node) {
            int& held = nodebody[static_cast<std::size_t>(k - 1)];
            if (held != 0 && held != body)
                errorstop::stop(
                    "*** Error *** node " + std::to_string(k) + " belongs to the rigid sets " +
                    std::to_string(bodies[static_cast<std::size_t>(held - 1)].set) + " and " +
                    std::to_string(bodies[static_cast<std::size_t>(body - 1)].set) +
                    "; join them in one set");
            held = body;
        }
        double xyz[8][3], vol, ijac[3][3], edist = 1.0;
        gather_corners(el.node, x, xyz);
        jacobian(xyz, vol, ijac);
        if (vol > 0.0)
            elementtimestep(xyz, vol,
                            materialdata::mat_list[static_cast<std::size_t>(el.mat - 1)].wavespeed,
                            shortest, edist);
    }
    MPI_Allreduce(&shortest, &step, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
    // The body alone moves its nodes: a held or driven component among them
    // would be overruled without a word.
    const auto refuse = [&](int comp, const char* what) {
        const std::size_t c = static_cast<std::size_t>(comp - 1);
        const int* member = &elementdata::compmember[c * static_cast<std::size_t>(np)];
        for (int j = 0; j < elementdata::complen[c]; ++j) {
            const int body = nodebody[static_cast<std::size_t>(member[j] - 1)];
            if (body != 0)
                errorstop::stop("*** Error *** component " + std::to_string(comp) + " (" + what +
                                ") holds node " + std::to_string(member[j]) + " of rigid set " +
                                std::to_string(bodies[static_cast<std::size_t>(body - 1)].set) +
                                ": a rigid body's nodes move with the body alone");
        }
    };
    for (const fixity& f : elementdata::fixities) refuse(f.comp, "fixd");
    for (const drive& d : motiondata::drives) refuse(d.comp, "move");

    // Mass, first and second moments of the lumped masses. Before the first
    // exchange every copy of a shared node holds its process's share of the
    // node's mass, so the sums run over every copy.
    const double* m = particledata::mp.data();
    std::vector<double> part(4 * nb, 0.0);
    nodes.clear();
    owner.clear();
    for (int k = 0; k < np; ++k) {
        const int body = nodebody[static_cast<std::size_t>(k)];
        if (body == 0) continue;
        const std::size_t b = static_cast<std::size_t>(body - 1);
        nodes.push_back(static_cast<std::size_t>(k));
        owner.push_back(b);
        part[4 * b] = part[4 * b] + m[k];
        for (int i = 0; i < 3; ++i)
            part[4 * b + 1 + static_cast<std::size_t>(i)] += m[k] * x[3 * k + i];
    }
    const std::vector<double> first = inorder(part);
    for (std::size_t b = 0; b < nb; ++b) {
        rigidbody& r = bodies[b];
        r.mass = first[4 * b];
        if (!(r.mass > 0.0))
            errorstop::stop("*** Error *** rigid set " + std::to_string(r.set) +
                            " has no mass: it holds no element");
        for (int i = 0; i < 3; ++i)
            r.origin[i] = first[4 * b + 1 + static_cast<std::size_t>(i)] / r.mass;
    }
    offsets.assign(3 * nodes.size(), 0.0);
    std::vector<double> second(9 * nb, 0.0);
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        const std::size_t k = nodes[j], b = owner[j];
        double* r = &offsets[3 * j];
        for (std::size_t i = 0; i < 3; ++i) r[i] = x[3 * k + i] - bodies[b].origin[i];
        const double rr = r[0] * r[0] + r[1] * r[1] + r[2] * r[2];
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t l = 0; l < 3; ++l)
                second[9 * b + 3 * i + l] += m[k] * ((i == l ? rr : 0.0) - r[i] * r[l]);
    }
    const std::vector<double> inertia = inorder(second);
    for (std::size_t b = 0; b < nb; ++b) {
        rigidbody& r = bodies[b];
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t l = 0; l < 3; ++l) r.jbody[i][l] = inertia[9 * b + 3 * i + l];
        double det = 0.0;
        innve(r.jbody, r.jinv, det);
        if (!(det > 0.0))
            errorstop::stop("*** Error *** rigid set " + std::to_string(r.set) +
                            " has no inertia about some axis: its nodes lie on a line");
        for (int i = 0; i < 3; ++i) {
            r.centre[i] = r.origin[i];
            r.vel[i] = r.v0[i];
            r.omega[i] = r.w0[i];
        }
        r.q[0] = 1.0;
        r.q[1] = r.q[2] = r.q[3] = 0.0;
        times(r.jbody, r.w0, r.spin);
    }
    // The initial velocities of the nodes (a restart loads its own).
    double* v = particledata::vel.data();
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        const rigidbody& r = bodies[owner[j]];
        double c[3];
        cross(r.w0, &offsets[3 * j], c);
        for (std::size_t i = 0; i < 3; ++i) v[3 * nodes[j] + i] = r.v0[i] + c[i];
    }
}

void start() {
    counted = commnodes::nprocs > 1
                  ? commnodes::ownednodes()
                  : std::vector<double>(static_cast<std::size_t>(particledata::nb_particle), 1.0);
}

const std::vector<target>& targets(const double* a, const double* x, const double* m, double dtk,
                                   double dtk1) {
    using rigiddata::bodies;
    const std::size_t nb = bodies.size();
    std::vector<double> part(6 * nb, 0.0);
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        const std::size_t k = nodes[j], b = owner[j];
        if (counted[k] == 0.0) continue;
        double f[3], r[3], t[3];
        for (std::size_t i = 0; i < 3; ++i) {
            f[i] = m[k] * a[3 * k + i];
            r[i] = x[3 * k + i] - bodies[b].centre[i];
        }
        cross(r, f, t);
        for (std::size_t i = 0; i < 3; ++i) {
            part[6 * b + i] += f[i];
            part[6 * b + 3 + i] += t[i];
        }
    }
    const std::vector<double> sum = inorder(part);
    const double half = 0.5 * (dtk + dtk1);
    rotation.assign(9 * nb, 0.0);
    for (std::size_t b = 0; b < nb; ++b) {
        rigidbody& r = bodies[b];
        // A held direction keeps its velocity: the hold takes the force
        // along it (and a held rotation every moment).
        for (std::size_t i = 0; i < 3; ++i) {
            if (r.hold[i] == 0) r.vel[i] = r.vel[i] + sum[6 * b + i] / r.mass * half;
            if (r.hold[3] == 0) r.spin[i] = r.spin[i] + sum[6 * b + 3 + i] * half;
        }
        angularvelocity(r.q, r.jinv, r.spin, r.omega);
        double rot[3][3];
        matrix(r.q, rot);
        for (std::size_t i = 0; i < 9; ++i) rotation[9 * b + i] = rot[i / 3][i % 3];
        rotate(r.q, r.jinv, r.spin, dtk1);
    }
    list.clear();
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        const std::size_t k = nodes[j], b = owner[j];
        const rigidbody& r = bodies[b];
        const double* rot = &rotation[9 * b];
        const double* r0 = &offsets[3 * j];
        double p[3], c[3];
        for (std::size_t i = 0; i < 3; ++i)
            p[i] = rot[3 * i] * r0[0] + rot[3 * i + 1] * r0[1] + rot[3 * i + 2] * r0[2];
        cross(r.omega, p, c);
        for (std::size_t i = 0; i < 3; ++i) list.push_back({3 * k + i, r.vel[i] + c[i]});
    }
    // The centres move on to c(n+1) once the node places no longer need c(n).
    for (rigidbody& r : bodies)
        for (int i = 0; i < 3; ++i) r.centre[i] = r.centre[i] + r.vel[i] * dtk1;
    return list;
}

void place(double* x) {
    using rigiddata::bodies;
    for (std::size_t b = 0; b < bodies.size(); ++b) {
        double rot[3][3];
        matrix(bodies[b].q, rot);
        for (std::size_t i = 0; i < 9; ++i) rotation[9 * b + i] = rot[i / 3][i % 3];
    }
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        const std::size_t k = nodes[j], b = owner[j];
        const double* rot = &rotation[9 * b];
        const double* r0 = &offsets[3 * j];
        for (std::size_t i = 0; i < 3; ++i)
            x[3 * k + i] = bodies[b].centre[i] +
                           (rot[3 * i] * r0[0] + rot[3 * i + 1] * r0[1] + rot[3 * i + 2] * r0[2]);
    }
}

std::string header() {
    std::string h = "#            time";
    for (std::size_t b = 1; b <= rigiddata::bodies.size(); ++b) {
        const std::string n = std::to_string(b);
        for (const char* c :
             {"x", "y", "z", "vx", "vy", "vz", "wx", "wy", "wz", "lx", "ly", "lz", "kinetic"}) {
            std::string col = std::string(c) + "_" + n;
            if (col.size() < 17) col.insert(0, 17 - col.size(), ' ');
            h += col;
        }
    }
    return h;
}

std::string record(double time) {
    std::string line;
    const auto put = [&](double v) { records::put_column(line, v); };
    put(time);
    for (const rigidbody& r : rigiddata::bodies) {
        for (const double v : r.centre) put(v);
        for (const double v : r.vel) put(v);
        for (const double v : r.omega) put(v);
        for (const double v : r.spin) put(v);
        put(kinetic(r.mass, r.vel, r.omega, r.spin));
    }
    return line;
}

namespace {
constexpr std::size_t perbody = 16;
std::int64_t filebytes = 0;
}  // namespace

std::size_t savedsize() { return perbody * rigiddata::bodies.size() + 2; }

std::vector<double> saved() {
    std::vector<double> state;
    for (const rigidbody& r : rigiddata::bodies) {
        state.insert(state.end(), r.centre, r.centre + 3);
        state.insert(state.end(), r.vel, r.vel + 3);
        state.insert(state.end(), r.q, r.q + 4);
        state.insert(state.end(), r.spin, r.spin + 3);
        state.insert(state.end(), r.omega, r.omega + 3);
    }
    state.push_back(static_cast<double>(rigiddata::nrecords));
    double bytes = 0.0;
    if (commnodes::myid == 0 && rigiddata::nrecords > 0)
        bytes = static_cast<double>(ffi::lengthforcheckpoint(filename));
    state.push_back(bytes);
    return state;
}

void restore(const std::vector<double>& state) {
    std::size_t at = 0;
    const auto take = [&](double* to, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) to[i] = state[at++];
    };
    for (rigidbody& r : rigiddata::bodies) {
        take(r.centre, 3);
        take(r.vel, 3);
        take(r.q, 4);
        take(r.spin, 3);
        take(r.omega, 3);
    }
    rigiddata::nrecords = static_cast<int>(state[at]);
    filebytes = static_cast<std::int64_t>(state[at + 1]);
}

void cutback(const std::string& name) {
    if (commnodes::myid != 0 || rigiddata::nrecords <= 0) return;
    ffi::cutbackfile(name, filename, filebytes);
}

void write(double time) {
    if (commnodes::myid != 0) {
        rigiddata::nrecords += 1;
        return;
    }
    const bool first = rigiddata::nrecords == 0;
    std::FILE* f = std::fopen(filename, first ? "w" : "a");
    if (f == nullptr) errorstop::stop(std::string("*** Error *** cannot open file ") + filename);
    bool ok = true;
    if (first) ok = std::fprintf(f, "%s\n", header().c_str()) > 0;
    ok = std::fprintf(f, "%s\n", record(time).c_str()) > 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) errorstop::stop(std::string("*** Error *** writing file ") + filename + " failed");
    rigiddata::nrecords += 1;
}

}  // namespace rigid
