#include "control/energy.hpp"

#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "contact/contact.hpp"
#include "control/guard.hpp"
#include "element/forces.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "parallel/ownership.hpp"
#include "walls/walls.hpp"

namespace energy {

namespace {

double kinetic0 = 0.0;  // kinetic energy of the initial velocities, nodes counted here
// The halves after t(n) of the last step's work, already in the running sums
// and taken out of them for the record at t(n).
double afterexternal = 0.0, afterhourglass = 0.0, afterplane = 0.0, aftercontact = 0.0,
       aftermotion = 0.0;
// Work of this step's loads and hourglass forces with v(n-1/2) (the sums
// over the process's nodes), formed after the exchange.
double extminus = 0.0, hgminus = 0.0, contactminus = 0.0;
bool loads = false;      // some node of the process carries a load
bool hourglass = false;  // hourglass forces act (kept apart in particledata::fhg)
// Components the constraints changed in this step's node update: index
// into the node arrays, v(n-1/2) and the acceleration before the change.
struct held {
    std::size_t i;
    double v, a;
    bool driven;
};
std::vector<held> heldlist;
bool heldsorted = true;
watch watched;
bool contactwarned = false;  // the contact forces have been reported for making energy

}  // namespace

void resume() {
    particledata::owned = commnodes::ownednodes();
    hourglass = hourglassmode() != 0;
    particledata::fhg.assign(hourglass ? particledata::vel.size() : 0, 0.0);
    loads = false;
    for (const double f : particledata::fp) loads = loads || f != 0.0;
    heldlist.clear();
    afterexternal = afterhourglass = afterplane = aftercontact = aftermotion = 0.0;
    watched = watch{};
    contactwarned = false;
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

// Sum of load . velocity over the nodes that have mass (a node without mass
// keeps its velocity whatever acts on it: no work).
// Sum of contact force . velocity over the nodes counted here: every
// process holding a node forms its whole contact force.
static double contactpower(const double* v, const double* fc) {
    if (!fc) return 0.0;
    const double* m = particledata::mp.data();
    double p = 0.0;
    for (std::size_t k = 0; k < particledata::owned.size(); ++k) {
        const std::size_t i = 3 * k;
        if (m[k] != 0.0)
            p += particledata::owned[k] *
                 (fc[i] * v[i] + fc[i + 1] * v[i + 1] + fc[i + 2] * v[i + 2]);
    }
    return p;
}

// With loads of several time functions each node's load is taken at the
// value of its own function (the power then needs no further factor).
static double loadpower(const double* v) {
    const double* m = particledata::mp.data();
    const double* fp = particledata::fp.data();
    double ext = 0.0;
    if (!particledata::fpfunc.empty()) {
        const double* value = timefunctiondata::current.data();
        for (std::size_t k = 0; k < particledata::owned.size(); ++k) {
            const std::size_t i = 3 * k;
            const double f = value[particledata::fpfunc[k] - 1];
            if (m[k] != 0.0)
                ext += (fp[i] * f) * v[i] + (fp[i + 1] * f) * v[i + 1] + (fp[i + 2] * f) * v[i + 2];
        }
        return ext;
    }
    for (std::size_t k = 0; k < particledata::owned.size(); ++k) {
        const std::size_t i = 3 * k;
        if (m[k] != 0.0) ext += fp[i] * v[i] + fp[i + 1] * v[i + 1] + fp[i + 2] * v[i + 2];
    }
    return ext;
}

void afterexchange(const double* contactforce) {
    // The halves of this step's work before t(n), with v(n-1/2). A node
    // without mass keeps its velocity whatever acts on it: no work.
    const double* m = particledata::mp.data();
    const double* v = particledata::vel.data();
    const double* fh = particledata::fhg.data();
    double ext = 0.0, hg = 0.0;
    const std::size_t n = particledata::owned.size();
    if (loads) ext = loadpower(v);
    if (hourglass)
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = 3 * k;
            hg += fh[i] * v[i] + fh[i + 1] * v[i + 1] + fh[i + 2] * v[i + 2];
        }
    extminus = ext;
    hgminus = hg;
    contactminus = contactpower(v, contactforce);
    heldlist.clear();
    heldsorted = true;
    if (simulation::istep == 1) {
        // The masses of shared nodes are summed by now.
        double e = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const double* vk = v + 3 * k;
            e += particledata::owned[k] * 0.5 * m[k] *
                 (vk[0] * vk[0] + vk[1] * vk[1] + vk[2] * vk[2]);
        }
        kinetic0 = e;
    }
}

void constrained(std::size_t i, double v, double a, bool driven) {
    if (!heldlist.empty() && heldlist.back().i >= i) heldsorted = false;
    heldlist.push_back({i, v, a, driven});
}

void afterupdate(double loadfactor, const double* contactforce) {
    // Loads of several functions carry their values in their power already.
    const double tf = particledata::fpfunc.empty() ? loadfactor : 1.0;
    // dt(n), and half of it for each half of the step's work.
    const double dtn = 0.5 * (simulation::dtk + simulation::dtk1);
    const double half = 0.5 * dtn;
    const double* m = particledata::mp.data();
    double* fh = particledata::fhg.data();
    const double* v = particledata::vel.data();
    const std::size_t n = particledata::owned.size();
    double ext = 0.0, hg = 0.0;
    if (loads) ext = loadpower(v);
    // The hourglass forces are used up: zeroed for the next pass to add into.
    if (hourglass)
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = 3 * k;
            hg += fh[i] * v[i] + fh[i + 1] * v[i + 1] + fh[i + 2] * v[i + 2];
            fh[i] = fh[i + 1] = fh[i + 2] = 0.0;
        }
    // The reactions act only where the constraints changed a component: the
    // impulse r = m (v(n+1/2) - v(n-1/2)) - m a dt(n) the velocity change
    // holds beyond the summed force. A component held twice (plane and
    // "fixd") is counted once, with the values before the first change.
    if (!heldsorted)
        std::stable_sort(heldlist.begin(), heldlist.end(),
                         [](const held& x, const held& y) { return x.i < y.i; });
    // A component the plane holds and a "move" record drives counts with the
    // driven ones.
    double rb = 0.0, ra = 0.0, mb = 0.0, ma = 0.0;
    std::size_t kept = 0;
    for (std::size_t j = 0; j < heldlist.size(); ++j) {
        const held h = heldlist[j];
        if (kept > 0 && heldlist[kept - 1].i == h.i) {
            heldlist[kept - 1].driven = heldlist[kept - 1].driven || h.driven;
            continue;
        }
        heldlist[kept++] = h;
    }
    heldlist.resize(kept);
    for (const held& h : heldlist) {
        const std::size_t k = h.i / 3;
        const double r = m[k] * (v[h.i] - h.v) - m[k] * h.a * dtn;
        if (h.driven) {
            mb += particledata::owned[k] * h.v * r;
            ma += particledata::owned[k] * v[h.i] * r;
        } else {
            rb += particledata::owned[k] * h.v * r;
            ra += particledata::owned[k] * v[h.i] * r;
        }
    }
    const double ct = contactpower(v, contactforce);
    aftercontact = ct * half;
    simulation::engcontact += contactminus * half + aftercontact;
    afterexternal = tf * ext * half;
    afterhourglass = hg * half;
    afterplane = -0.5 * ra;
    simulation::engexternal += tf * extminus * half + afterexternal;
    simulation::enghourglass += hgminus * half + afterhourglass;
    simulation::engplane += -0.5 * rb + afterplane;
    if (!motiondata::drives.empty()) {
        aftermotion = 0.5 * ma;
        simulation::engmotion += 0.5 * mb + aftermotion;
    }
}

// m v(n-1/2).v(n+1/2) / 2 over the nodes counted here, after the node
// update: v(n-1/2) is v(n+1/2) - a(n) dt(n) where no constraint acted, and
// the value before the constraint where one did.
static double kineticattn() {
    const double dtn = 0.5 * (simulation::dtk + simulation::dtk1);
    const double* m = particledata::mp.data();
    const double* v = particledata::vel.data();
    const double* a = particledata::acc.data();
    double e = 0.0;
    for (std::size_t k = 0; k < particledata::owned.size(); ++k) {
        const std::size_t i = 3 * k;
        double s = 0.0;
        for (std::size_t c = i; c < i + 3; ++c) s += (v[c] - a[c] * dtn) * v[c];
        e += particledata::owned[k] * m[k] * s;
    }
    for (const held& h : heldlist) {
        const std::size_t k = h.i / 3;
        e += particledata::owned[k] * m[k] * (h.v - (v[h.i] - a[h.i] * dtn)) * v[h.i];
    }
    return 0.5 * e;
}

// With erosion on: the internal energy of the elements still in the model,
// each element's own absorbed work, summed apart from the process's running
// total, so that the balance would show an error in what the eroded ones
// took away.
static double survivingenergy() {
    double e = 0.0;
    for (std::size_t k = 0; k < elementdata::element_list.size(); ++k) {
        if (k < failuredata::eroded.size() && failuredata::eroded[k]) continue;
        const element& el = elementdata::element_list[k];
        const history& h = materialdata::history_list[static_cast<std::size_t>(el.nhistory - 1)];
        e += materialdata::mat_list[static_cast<std::size_t>(el.mat - 1)].density * h.vol0 * h.eint;
    }
    return e;
}

balance global() {
    double local[9] = {kineticattn(),
                       failuredata::on ? survivingenergy() : simulation::engstrain,
                       simulation::enghourglass - afterhourglass,
                       simulation::engexternal - afterexternal,
                       simulation::engplane - afterplane,
                       kinetic0,
                       simulation::engcontact - aftercontact,
                       failuredata::engeroded,
                       simulation::engmotion - aftermotion};
    double sum[9] = {};
    const bool driven = motiondata::driven;
    MPI_Allreduce(local, sum,
                  driven                                       ? 9
                  : elementdata::contact.on || failuredata::on ? 8
                                                               : 6,
                  MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
    balance b{};
    b.kinetic = sum[0];
    b.internal = sum[1];
    b.hourglass = 0.0 - sum[2];
    b.external = sum[3];
    b.plane = sum[4];
    b.initial = sum[5];
    b.contact = 0.0 - sum[6];
    b.eroded = sum[7];
    b.motion = sum[8];
    b.total = b.kinetic + b.internal + b.hourglass;
    if (elementdata::contact.on) b.total = b.total + b.contact;
    if (failuredata::on) b.total = b.total + b.eroded;
    double reference = b.initial + b.external;
    if (driven) reference = reference + b.motion;
    double err = b.total + b.plane - reference;
    if (!walls::list.empty()) {
        b.wall = walls::work();
        err = b.total + b.plane + b.wall - reference;
    }
    b.error = reference != 0.0 ? err / std::fabs(reference) : err;
    return b;
}

// With contact on, its column follows the hourglass one.
std::string header() {
    return std::string("#            time          kinetic         internal        hourglass") +
           (elementdata::contact.on ? "          contact" : "") +
           (failuredata::on ? "           eroded" : "") + "    external_work       plane_work" +
           (walls::list.empty() ? "" : "        wall_work") +
           (motiondata::driven ? "      motion_work" : "") + "            total     energy_error";
}

std::string record(double time, const balance& b) {
    std::string line;
    const auto put = [&](double v) { records::put_column(line, v); };
    for (const double v : {time, b.kinetic, b.internal, b.hourglass}) put(v);
    if (elementdata::contact.on) put(b.contact);
    if (failuredata::on) put(b.eroded);
    put(b.external);
    put(b.plane);
    if (!walls::list.empty()) put(b.wall);
    if (motiondata::driven) put(b.motion);
    for (const double v : {b.total, b.error}) put(v);
    return line;
}

bool ranaway(watch& w, const balance& b) {
    double given = b.initial + b.external;
    if (motiondata::driven) given = given + b.motion;
    w.reference = std::max(w.reference, std::fabs(given));
    const double mismatch = b.total + b.plane + b.wall - given;
    const double off = std::fabs(mismatch) / (w.reference > 0.0 ? w.reference : 1.0);
    // Written so that a mismatch that is not finite counts as off and away.
    const bool isoff = !(off <= runaway);
    const bool grown = w.off && !(std::fabs(mismatch) <= 2.0 * std::fabs(w.mismatch));
    const bool away = isoff && (!(off <= surge * runaway) || grown);
    w.mismatch = mismatch;
    w.off = isoff;
    return away;
}

// A run whose balance has run away stops after its record is on disk; every
// process holds the same sums, so all stop together.
static void checkrunaway(const balance& b) {
    if (!ranaway(watched, b)) return;
    std::string e;
    records::put_e(e, b.error, 10, 3);
    e.erase(0, e.find_first_not_of(' '));
    guard::stopall("*** Error *** step " + std::to_string(simulation::istep) +
                   ": the energy balance is off by " + e +
                   " times the initial energy and the work of the loads: the run is unstable" +
                   guard::remedy());
}

// The contact forces take energy (springs and friction) or give back what
// they took; a contact column below -0.5 % of the initial energy and the
// work of the loads means they have made energy, which the balance error
// cannot show (the column is part of the total). Reported once, by process 0.
static void checkcontact(const balance& b) {
    if (!elementdata::contact.on || contactwarned) return;
    const double reference = std::fabs(b.initial + b.external);
    if (!(b.contact < -0.005 * reference)) return;
    contactwarned = true;
    std::string c, share;
    records::put_e(c, b.contact, 10, 3);
    records::put_e(share, reference > 0.0 ? -100.0 * b.contact / reference : 0.0, 10, 3);
    c.erase(0, c.find_first_not_of(' '));
    share.erase(0, share.find_first_not_of(' '));
    errorstop::writeline(" *** Warning *** step " + std::to_string(simulation::istep) +
                         ": the contact forces have given the bodies " + share +
                         " % of the initial energy and the work of the loads more than they "
                         "took (contact energy " +
                         c +
                         " J); the contact results are not to "
                         "be trusted");
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
    checkcontact(b);
    checkrunaway(b);
}

}  // namespace energy
