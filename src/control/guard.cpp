#include "control/guard.hpp"

#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "contact/contact.hpp"
#include "contact/surface.hpp"
#include "control/fieldout.hpp"
#include "element/corners.hpp"
#include "element/geometry.hpp"
#include "element/timestep.hpp"
#include "model/curvevariables.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/curve.hpp"
#include "output/records.hpp"
#include "parallel/commnodes.hpp"

namespace guard {

namespace {

constexpr double sentinel = 1.0e6;

double initialstep = 0.0;    // shortest initial element step of the process, s (0: no elements)
double runawayenergy = 0.0;  // kinetic energy of the process's mass at 100 x its wave speed, J
// With "fail" only, two per node over the whole job: the elements still in
// the model that hold it, and the sum of the magnitudes of its loads'
// components over its copies (0: no load). Empty without "fail".
std::vector<double> held;
const contact::surface* contactsurface = nullptr;  // the time loop's, with contact

std::string value(double v) {
    std::string s;
    records::put_e(s, v, 10, 3);
    s.erase(0, s.find_first_not_of(' '));
    return s;
}

std::string at(int step) {
    return "*** Error *** step " + std::to_string(step) + ", process " +
           std::to_string(commnodes::myid) + ": ";
}

// The first element whose corners are not finite or whose centre volume is
// not positive and finite, 0 when every element looks sound.
int brokenelement() {
    const double* pos = particledata::pos.data();
    for (int i = 0; i < elementdata::nb_element; ++i) {
        const element& el = elementdata::element_list[static_cast<size_t>(i)];
        double xyz[8][3];
        gather_corners(el.node, pos, xyz);
        bool finite = true;
        for (const auto& c : xyz)
            for (const double x : c) finite = finite && std::isfinite(x);
        double vol = 0.0, ijac[3][3];
        if (finite) jacobian(xyz, vol, ijac);
        if (!finite || !(vol > 0.0) || !std::isfinite(vol)) return i + 1;
    }
    return 0;
}

// The element with the shortest step l / c now (l the volume over the
// largest face), 0 when there is none.
int shorteststep() {
    const double* pos = particledata::pos.data();
    int worst = 0;
    double best = 0.0;
    for (int i = 0; i < elementdata::nb_element; ++i) {
        const element& el = elementdata::element_list[static_cast<size_t>(i)];
        double xyz[8][3];
        gather_corners(el.node, pos, xyz);
        double vol = 0.0, ijac[3][3], edist = 1.0;
        jacobian(xyz, vol, ijac);
        const double c = materialdata::mat_list[static_cast<size_t>(el.mat - 1)].wavespeed;
        const double dt = elementlength(xyz, vol, edist) / c;
        if (worst == 0 || !(dt >= best)) {
            worst = i + 1;
            best = dt;
        }
    }
    return worst;
}

// The stop this process has found while the processes have yet to agree on
// it (field output on several processes), empty when none.
std::string pending;

// With field output on several processes a stop must not end one process
// while the others go on: the last frame and the series are written by all
// of them together. A stop found by one process is then held until the next
// agree(), which every process reaches at the same point of the step.
bool agreeing() { return dataout::fieldstep >= 0.0 && commnodes::nprocs > 1; }

// Whether the coordinates and velocities of the process are all finite: a
// frame of a state that is not is not written.
bool finitestate() {
    for (const double x : particledata::pos)
        if (!std::isfinite(x)) return false;
    for (const double v : particledata::vel)
        if (!std::isfinite(v)) return false;
    return true;
}

// With field output: completes the frame under way, writes the state the run
// stopped in as one more frame (when it is finite on every process) and
// lists it in field.pvd, as the end of a run does. Collective when several
// processes run.
void lastframe() {
    if (dataout::fieldstep < 0.0) return;
    fieldout::wait();
    int finite = finitestate() ? 1 : 0;
    if (commnodes::nprocs > 1)
        MPI_Allreduce(MPI_IN_PLACE, &finite, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    if (finite == 0) return;
    fieldout::write(simulation::currenttime);
    fieldout::wait();
}

// A stop this process has found by itself: at once (after the last frame)
// unless the processes must agree on it first.
void found(const std::string& message) {
    if (!agreeing()) {
        lastframe();
        errorstop::stop(message);
    }
    if (pending.empty()) pending = message;
}

// Where the processes agree on a stop one of them has found (collective when
// agreeing): all write the last frame, the first process that found a stop
// writes its message and every process stops.
void agree() {
    if (!agreeing()) return;
    int first = pending.empty() ? 0 : commnodes::nprocs - commnodes::myid;
    MPI_Allreduce(MPI_IN_PLACE, &first, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    if (first == 0) return;
    lastframe();
    if (first == commnodes::nprocs - commnodes::myid) errorstop::stop(pending);
    errorstop::stop();
}

}  // namespace

// The contact stiffness can make a run unstable on its own: a penalty scale
// far above the default stiffens the contact springs beyond the step. Kept
// apart from the rest of the remedy, as the place that can also name the
// pair of sets whose springs ask for the shortest step.
std::string contactremedy() {
    if (!elementdata::contact.on) return {};
    // A pair whose spring needed a shorter step than the one taken is the
    // likely cause: named, with what to do.
    const std::string pair = contactsurface ? contact::stiffness(*contactsurface) : std::string{};
    if (!pair.empty()) return "; " + pair;
    return "; the contact stiffness may be too high: lower the penalty scale (scal in cont)";
}

std::string remedy() {
    return "; lower the step scale (dtsc), switch on the stable step (stab on) or bulk viscosity "
           "(bulk)" +
           contactremedy();
}

void stopall(const std::string& message) {
    lastframe();
    errorstop::stop(message);
}

void start(const contact::surface* contact) {
    contactsurface = contact;
    pending.clear();
    initialstep = 0.0;
    held.clear();
    double cmax = 0.0;
    for (int i = 0; i < elementdata::nb_element; ++i) {
        const element& el = elementdata::element_list[static_cast<size_t>(i)];
        const double c = materialdata::mat_list[static_cast<size_t>(el.mat - 1)].wavespeed;
        const double v0 = materialdata::history_list[static_cast<size_t>(el.nhistory - 1)].vol0;
        const double dt = std::cbrt(v0) / c;
        if (std::isfinite(dt) && dt > 0.0 && (initialstep == 0.0 || dt < initialstep))
            initialstep = dt;
        if (c > cmax) cmax = c;
    }
    double mass = 0.0;
    for (const double m : particledata::mp) mass += m;
    const double vmax = 100.0 * cmax;
    runawayenergy = 0.5 * mass * vmax * vmax;
}

void holders() {
    held.clear();
    if (!failuredata::on) return;
    const std::size_t n = static_cast<std::size_t>(std::max(particledata::nb_particle, 0));
    const std::size_t ne = static_cast<std::size_t>(std::max(elementdata::nb_element, 0));
    held.assign(2 * n, 0.0);
    const bool erosion = failuredata::eroded.size() == ne;
    for (std::size_t e = 0; e < ne; ++e) {
        if (erosion && failuredata::eroded[e]) continue;
        for (const int k : elementdata::element_list[e].node)
            held[2 * static_cast<std::size_t>(k - 1)] += 1.0;
    }
    const double* fp = particledata::fp.data();
    for (std::size_t k = 0; k < n; ++k)
        held[2 * k + 1] =
            std::fabs(fp[3 * k]) + std::fabs(fp[3 * k + 1]) + std::fabs(fp[3 * k + 2]);
    commnodes::sumcopies(held, 2);
}

int runawaynode(bool& loose) {
    const double* v = particledata::vel.data();
    const double* m = particledata::mp.data();
    const bool counted = held.size() == 2 * static_cast<std::size_t>(particledata::nb_particle);
    int node = 0;
    double fast = -1.0;
    loose = false;
    for (int k = 0; k < particledata::nb_particle; ++k) {
        if (m[k] == 0.0) continue;
        const std::size_t i = static_cast<std::size_t>(k);
        const bool free = counted && held[2 * i] == 0.0;
        if (free && held[2 * i + 1] == 0.0) continue;
        const double* vk = v + 3 * static_cast<std::ptrdiff_t>(k);
        const double s = std::sqrt(vk[0] * vk[0] + vk[1] * vk[1] + vk[2] * vk[2]);
        if (s > fast) {
            fast = s;
            node = k + 1;
            loose = free;
        }
    }
    return node;
}

namespace {

void passfault(int step, double dt) {
    if (elementdata::nb_element <= 0) return;
    if (dt > 0.0 && dt < sentinel) {
        if (!(dt < 1.0e-6 * initialstep)) return;
        const int e = shorteststep();
        found(at(step) + "the time step " + value(dt) +
              " has collapsed below 1e-6 of the initial element step " + value(initialstep) +
              " (shortest now at element " + std::to_string(e) + ")" + remedy());
        return;
    }
    std::string m = at(step);
    if (std::fabs(dt - sentinel) <= static_cast<double>(1.0e-5f)) {
        m += "no element gives a finite stable time step";
    } else {
        m += "the time step " + value(dt) + " is not positive and below " + value(sentinel);
    }
    const int e = brokenelement();
    if (e > 0) m += " (element " + std::to_string(e) + " has collapsed or is not finite)";
    found(m);
}

void energyfault(int step) {
    const double ek = simulation::engkinetic, es = simulation::engstrain;
    if (std::isfinite(ek) && std::isfinite(es)) {
        if (!(runawayenergy > 0.0) || !(ek > runawayenergy)) return;
        bool loose = false;
        const int node = runawaynode(loose);
        double fast = 0.0;
        if (node > 0) {
            const double* vk = particledata::vel.data() + 3 * static_cast<std::ptrdiff_t>(node - 1);
            fast = std::sqrt(vk[0] * vk[0] + vk[1] * vk[1] + vk[2] * vk[2]);
        }
        if (loose) {
            found(at(step) + "node " + std::to_string(contact::globalnode(node - 1)) +
                  " carries a load and every element that held it has eroded: nothing holds it, "
                  "and the load accelerates it without bound (it moves at " +
                  value(fast) + ", over 100 times the wave speed; the kinetic energy is " +
                  value(ek) +
                  "); take the load off nodes whose elements can erode, or end it with the load "
                  "time function before they fail");
            return;
        }
        // The first element still in the model that holds the node.
        const bool erosion =
            failuredata::eroded.size() == static_cast<std::size_t>(elementdata::nb_element);
        int e = 0;
        for (int i = 0; i < elementdata::nb_element && e == 0; ++i) {
            if (erosion && failuredata::eroded[static_cast<std::size_t>(i)]) continue;
            for (const int n : elementdata::element_list[static_cast<size_t>(i)].node)
                if (n == node) e = i + 1;
        }
        found(at(step) + "the kinetic energy " + value(ek) +
              " has grown without bound: the run is unstable (node " + std::to_string(node) +
              " of element " + std::to_string(e) + " moves at " + value(fast) +
              ", over 100 times the wave speed)" + remedy());
        return;
    }
    std::string m =
        at(step) +
        (std::isfinite(ek) ? "the strain energy " + value(es) : "the kinetic energy " + value(ek)) +
        " is not finite";
    const int e = brokenelement();
    if (e > 0) m += " (element " + std::to_string(e) + " has collapsed or is not finite)";
    found(m);
}

void outputfault(int step) {
    const double* pos = particledata::pos.data();
    const std::size_t n =
        3 * static_cast<std::size_t>(particledata::nb_particle > 0 ? particledata::nb_particle : 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(pos[i])) {
            found(at(step) + "node " + std::to_string(i / 3 + 1) + " has a non-finite coordinate");
            return;
        }
    }
    for (int c = 0; c < dataout::ncurves; ++c) {
        const double v = curvevalue(c);
        if (std::isfinite(v)) continue;
        const curvevariables::variable& var =
            curvevariables::of(dataout::curveoption[static_cast<size_t>(c)]);
        const std::string what =
            var.at == curvevariables::kind::energy
                ? " (" + std::string(var.word) + " of the process)"
                : " of " + std::string(curvevariables::kindname(var.at)) + " " +
                      std::to_string(dataout::curvepoint[static_cast<size_t>(c)]);
        found(at(step) + "curve " + std::to_string(c + 1) + what + " is not finite (" + value(v) +
              ")");
        return;
    }
}

}  // namespace

void checkpass(int step, double dt) {
    passfault(step, dt);
    agree();
}

// The step is the whole job's: every process finds the same fault.
void checkstep(int step, double dt) {
    if (dt > 0.0 && std::isfinite(dt)) return;
    stopall(at(step) + "the time step " + value(dt) + " is not positive and finite");
}

void checkenergies(int step) {
    energyfault(step);
    agree();
}

void checkoutput(int step) {
    outputfault(step);
    agree();
}

}  // namespace guard
