#include "control/integration.hpp"

#include <mpi.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "contact/contact.hpp"
#include "control/checkpoint.hpp"
#include "control/energy.hpp"
#include "control/fieldout.hpp"
#include "control/guard.hpp"
#include "control/stopsignal.hpp"
#include "control/timefunction.hpp"
#include "element/feforce.hpp"
#include "failure/failure.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "motion/motion.hpp"
#include "output/anim.hpp"
#include "output/curve.hpp"
#include "output/records.hpp"
#include "output/units.hpp"
#include "parallel/commnodes.hpp"
#include "parallel/ownership.hpp"
#include "rigid/rigid.hpp"
#include "walls/walls.hpp"

std::string progressline(int step, double t, double dt, double edist, double ke) {
    std::string s = " Step=";
    records::put_i(s, step, 6);
    s += "  T=";
    records::put_e(s, t, 9, 3);
    s += "  DT=";
    records::put_e(s, dt, 9, 3);
    s += "  EDist=";
    records::put_e(s, edist, 9, 3);
    s += "  K.E.=";
    records::put_e(s, ke, 9, 3);
    return s;
}

void kinetice() {
    const int n = particledata::nb_particle;
    const double* v = particledata::vel.data();
    const double* m = particledata::mp.data();
    double e = 0.0;
    for (int k = 0; k < n; ++k) {
        const double* vk = v + 3 * static_cast<std::ptrdiff_t>(k);
        e = e + 0.5 * m[k] * (vk[0] * vk[0] + vk[1] * vk[1] + vk[2] * vk[2]);
    }
    simulation::engkinetic = e;
}

namespace {

// Per node of the process, with several processes: 1 where this process
// counts the node in the model's kinetic energy (the lowest-numbered process
// that holds a copy), 0 elsewhere. Empty on one process.
std::vector<double> counted;
// This process's part of the model's kinetic energy at the start of the step.
double kineticpart = 0.0;

// The process's part of the model's kinetic energy, from the velocities at
// the start of the step. On step 1 the masses of shared nodes are still each
// process's own share (the exchange of that step sums them), so every copy
// counts and the shares add up to the node's mass; from step 2 on every copy
// carries the whole mass and only the counting process's copy counts.
void kineticshare() {
    if (commnodes::nprocs <= 1) return;
    const int n = particledata::nb_particle;
    const double* v = particledata::vel.data();
    const double* m = particledata::mp.data();
    const bool every = simulation::istep == 1 || counted.size() != static_cast<std::size_t>(n);
    double e = 0.0;
    for (int k = 0; k < n; ++k) {
        if (!every && counted[static_cast<std::size_t>(k)] == 0.0) continue;
        const double* vk = v + 3 * static_cast<std::ptrdiff_t>(k);
        e = e + 0.5 * m[k] * (vk[0] * vk[0] + vk[1] * vk[1] + vk[2] * vk[2]);
    }
    kineticpart = e;
}

// The kinetic energy the progress line shows: the model's, summed over the
// processes onto process 0 (a collective of every process, at report steps
// only); on one process the process's own.
double modelkinetic() {
    if (commnodes::nprocs <= 1) return simulation::engkinetic;
    double sum = 0.0;
    MPI_Reduce(&kineticpart, &sum, 1, MPI_DOUBLE, MPI_SUM, 0, MPI_COMM_WORLD);
    return sum;
}

}  // namespace

void updatefegeometry(const std::function<void()>& atstate) {
    using simulation::dtk;
    using simulation::dtk1;
    const int n = particledata::nb_particle;
    double* a = particledata::acc.data();
    double* v = particledata::vel.data();
    double* x = particledata::pos.data();
    const double* m = particledata::mp.data();

    // Central differences, with dt(n-1/2) = dtk (the step just taken) and
    // dt(n+1/2) = dtk1 (the step about to be taken, from this element pass):
    //
    //   a(n)     = f(n) / m                   (0 for a node without mass)
    //   rigid plane: at a node on or beyond the plane, a component of
    //   v(n-1/2) or a(n) along the plane's axis that points through the
    //   plane is set to 0; so is every component of v(n-1/2) and a(n) along
    //   an axis on which a held component ("fixd") holds the node; the
    //   rigid walls ("wall") add to a(n) the velocity change that keeps a
    //   node from ending the step behind them (walls/walls.hpp)
    //   v(n+1/2) = v(n-1/2) + a(n) (dt(n-1/2) + dt(n+1/2)) / 2
    //   x(n+1)   = x(n) + dt(n+1/2) v(n+1/2)
    //
    // The loop then advances the time: t(n+1) = t(n) + dt(n+1/2).

    // Forces to accelerations. A node without mass (one that belongs to no
    // element) is given zero acceleration rather than a non-finite one.
    int massless = 0;
    for (int k = 0; k < n; ++k) {
        double* ak = a + 3 * static_cast<std::ptrdiff_t>(k);
        if (m[k] != 0.0) {
            ak[0] = ak[0] / m[k];
            ak[1] = ak[1] / m[k];
            ak[2] = ak[2] / m[k];
        } else {
            ak[0] = ak[1] = ak[2] = 0.0;
            ++massless;
        }
    }
    if (massless > 0 && simulation::istep == 1) {
        errorstop::writeline(" *** Warning *** " + std::to_string(massless) +
                             " node(s) of process " + std::to_string(commnodes::myid) +
                             " have zero mass; their acceleration is set to zero");
    }

    // Rigid plane: nodes on or beyond it may not move further through it.
    const bool record = dataout::energyon;
    const bool react = motion::reacting();
    const int dir = elementdata::plane.dir;
    if (dir != 0) {
        const double s = dir > 0 ? 1.0 : -1.0;
        const long long ax = dir > 0 ? static_cast<long long>(dir) : -static_cast<long long>(dir);
        if (ax >= 1 && ax <= 3) {
            const int c = static_cast<int>(ax) - 1;
            const double coord = elementdata::plane.coord;
            for (int k = 0; k < n; ++k) {
                if ((coord - x[3 * k + c]) * s >= 0.0) {
                    const double vb = v[3 * k + c], ab = a[3 * k + c];
                    if (v[3 * k + c] * s < 0.0) v[3 * k + c] = 0.0;
                    if (a[3 * k + c] * s < 0.0) a[3 * k + c] = 0.0;
                    // The energy balance takes the plane's reaction here.
                    if (v[3 * k + c] != vb || a[3 * k + c] != ab) {
                        if (record)
                            energy::constrained(3 * static_cast<std::size_t>(k) + c, vb, ab);
                        if (react) motion::constrained(3 * static_cast<std::size_t>(k) + c, vb, ab);
                    }
                }
            }
        }
    }

    // Held components: velocity and acceleration zero along their axes.
    for (const fixity& f : elementdata::fixities) {
        const size_t c = static_cast<size_t>(f.comp - 1);
        const int len = elementdata::complen[c];
        const int* member = &elementdata::compmember[c * static_cast<size_t>(n)];
        for (int j = 0; j < len; ++j) {
            const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(member[j] - 1);
            for (int i = 0; i < 3; ++i)
                if (f.axis[i] != 0) {
                    if (record)
                        energy::constrained(static_cast<std::size_t>(at + i), v[at + i], a[at + i]);
                    if (react)
                        motion::constrained(static_cast<std::size_t>(at + i), v[at + i], a[at + i]);
                    v[at + i] = a[at + i] = 0.0;
                }
        }
    }

    if (!walls::list.empty()) walls::constrain(a, v, x, m, n, simulation::currenttime, dtk, dtk1);

    const double half = 0.5 * (dtk + dtk1);
    // Driven components: v(n+1/2) from their time functions, and the
    // acceleration a(n) that reaches it from v(n-1/2), in place of the one
    // of the summed forces (see motion/motion.hpp).
    const std::vector<motion::target>* driven = nullptr;
    if (!motiondata::drives.empty()) {
        static std::vector<double> values;  // kept: no allocation inside the loop
        values.clear();
        for (const drive& d : motiondata::drives) {
            const double t =
                d.disp ? simulation::currenttime + dtk1 : simulation::currenttime + 0.5 * dtk1;
            values.push_back(d.scale * functionvalue(d.func, t));
        }
        driven = &motion::targets(values, x, dtk1);
        for (const motion::target& g : *driven) {
            if (record) energy::constrained(g.i, v[g.i], a[g.i], true);
            if (react) motion::constrained(g.i, v[g.i], a[g.i]);
            a[g.i] = (g.v - v[g.i]) / half;
        }
    }
    // Rigid bodies: their nodes take the body's velocities v(n+1/2), reached
    // from v(n-1/2) as a constraint reaches them (see rigid/rigid.hpp).
    const std::vector<rigid::target>* carried = nullptr;
    if (!rigiddata::bodies.empty()) {
        carried = &rigid::targets(a, x, m, dtk, dtk1);
        for (const rigid::target& g : *carried) {
            if (record) energy::constrained(g.i, v[g.i], a[g.i]);
            if (react) motion::constrained(g.i, v[g.i], a[g.i]);
            a[g.i] = (g.v - v[g.i]) / half;
        }
    }
    // The state of t(n) is whole here: x(n), the constrained a(n) and
    // v(n-1/2), and the element values of this step's pass.
    if (atstate) atstate();
    for (int i = 0; i < 3 * n; ++i) v[i] = v[i] + a[i] * half;
    // The driven velocities exactly as their functions give them.
    if (driven)
        for (const motion::target& g : *driven) v[g.i] = g.v;
    if (carried)
        for (const rigid::target& g : *carried) v[g.i] = g.v;
    if (carried && !walls::list.empty()) walls::settle(v);
    for (int i = 0; i < 3 * n; ++i) x[i] = x[i] + v[i] * dtk1;
    if (carried) rigid::place(x);
    if (react) motion::settle(v, m, half);
}

void advance(contact::surface& cs, const std::function<void()>& atstate) {
    using namespace simulation;
    dtk = dtk1;
    dtk1 = 1.0e6;
    kinetice();
    kineticshare();
    guard::checkenergies(istep);
    const double tf = currenttmfunction(currenttime);
    currentfunctions(currenttime);
    feforce(tf);
    // Whether some process eroded an element in this pass and how far the
    // contact surface has moved ride on the reduction of the step.
    double largest[1 + contact::motionvalues] = {};
    if (failuredata::on) largest[0] = failure::afterpass() > 0 ? 1.0 : 0.0;
    if (elementdata::contact.on) contact::motion(cs, largest + 1);
    guard::checkpass(istep, dtk1);
    commnodes::updateforce(istep, dtk1, largest, 1 + contact::motionvalues);
    // Nodes may have lost their last element, and a surface that lost
    // elements shows the faces behind them.
    if (failuredata::on && failure::agree(largest[0] > 0.0)) {
        guard::holders();
        if (elementdata::contact.on) contact::rebuild(cs, contact::closing(largest + 1));
    }
    guard::checkstep(istep, dtk1);
    if (elementdata::contact.on) contact::apply(cs, contact::closing(largest + 1));
    const double* contactforce = elementdata::contact.on ? contact::forces(cs).data() : nullptr;
    if (dataout::energyon) energy::afterexchange(contactforce);
    updatefegeometry(atstate);
    if (dataout::energyon) energy::afterupdate(tf, contactforce);
}

void integration() {
    checkpoint::schedule s;
    integration(s);
}

// A stop signal at the end of a step: a checkpoint when they are on (unless
// this step has just written one), the buffers written out, one line.
static void stoponsignal(const checkpoint::schedule& s, bool written) {
    if (dataout::fieldstep >= 0.0) fieldout::wait();
    if (simulation::checkpointsteps > 0 && !written) checkpoint::write(s);
    ffi::syncunits();
    if (commnodes::myid == 0) {
        std::string line = " *** Stop *** signal " + std::to_string(stopsignal::received()) +
                           " received: stopped after step " +
                           std::to_string(simulation::istep - 1) + ", result files written out";
        if (simulation::checkpointsteps > 0)
            line +=
                ", checkpoint " +
                checkpoint::filename(static_cast<int>((checkpoint::lastsequence() - 1) % 2 + 1)) +
                " written (continue with hexdyn --restart)";
        errorstop::writeline(line);
        std::fflush(stdout);
    }
}

void integration(checkpoint::schedule& sched) {
    using namespace simulation;
    // Next output time and next report step persist for the whole loop.
    double& nextout = sched.nextout;
    int& nextreport = sched.nextreport;
    // Field output and the energy balance also write the state of the last
    // step, whether or not it falls on an output time.
    double& nextfield = sched.nextfield;
    const bool fields = dataout::fieldstep >= 0.0;
    if (currenttime > endtime) return;
    counted = commnodes::nprocs > 1 ? commnodes::ownednodes() : std::vector<double>{};
    // A restored run keeps the field series and the energy sums of its
    // checkpoint.
    if (fields && !sched.restored) fieldout::start();
    guard::start(elementdata::contact.on ? &sched.contact : nullptr);
    if (failuredata::on) {
        failure::start();
        guard::holders();
    }
    if (elementdata::contact.on) contact::start(sched.contact, !sched.restored);
    if (dataout::energyon) {
        if (sched.restored)
            energy::resume();
        else
            energy::start();
    }
    if (!walls::list.empty()) {
        if (sched.restored)
            walls::resume();
        else
            walls::start();
    }
    if (!rigiddata::bodies.empty()) rigid::start();
    // A field frame shows one time: the positions, velocities and element
    // values of t(n), written before the nodes move on. The curve and
    // animation records of a step, written after it, carry t(n) too, with
    // the positions already at t(n+1).
    const std::function<void()> framestep = [&] {
        if (!(nextfield > currenttime) || !(currenttime + dtk1 <= endtime)) {
            nextfield = nextfield + dataout::fieldstep;
            // v(n) = v(n-1/2) + a(n) dt(n-1/2) / 2 (at the first step, the
            // initial velocities).
            fieldout::write(currenttime, 0.5 * dtk);
        }
    };
    // On several processes every one checks that all ask for the same forces.
    if (!motiondata::drives.empty() || motion::reacting() || commnodes::nprocs > 1) motion::start();
    do {
        advance(sched.contact, fields ? framestep : nullptr);
        const bool last = !(currenttime + dtk1 <= endtime);
        const bool output = !(nextout > currenttime);
        if (output) {
            nextout = nextout + dataout::outtimestep;
            guard::checkoutput(istep);
            outcurve(currenttime);
            outanim(currenttime);
            // Every record of this output time reaches the files now: a
            // process killed later keeps them.
            ffi::syncunits();
        }
        if (!walls::list.empty() && (output || last)) walls::write(currenttime);
        if (dataout::energyon && (output || last)) energy::write(currenttime);
        if (motion::reacting() && (output || last))
            motion::write(currenttime, contact::setforces(sched.contact));
        if (!rigiddata::bodies.empty() && (output || last)) rigid::write(currenttime);
        if (istep >= nextreport) {
            const double next = std::trunc(static_cast<double>(nextreport) + dataout::reportsteps);
            nextreport = next >= static_cast<double>(INT_MAX)   ? INT_MAX
                         : next <= static_cast<double>(INT_MIN) ? INT_MIN
                                                                : static_cast<int>(next);
            const double kinetic = modelkinetic();
            if (failuredata::on) failure::jobcount();
            if (commnodes::myid == 0) {
                std::string line =
                    progressline(istep, currenttime, dtk1, elementdata::eledistortion, kinetic);
                if (failuredata::on) {
                    line += "  Eroded=";
                    line += std::to_string(failuredata::nerodedjob);
                }
                errorstop::writeline(line);
                // Shown as it happens, also when standard output is a pipe.
                std::fflush(stdout);
            }
        }
        currenttime = currenttime + dtk1;
        istep = istep + 1;
        const bool written = checkpoint::due(istep - 1);
        if (written) checkpoint::write(sched);
        if (stopsignal::agreed()) {
            stoponsignal(sched, written);
            return;
        }
    } while (currenttime <= endtime);
    // The last frame is on disk before the run reports its end.
    if (fields) fieldout::wait();
    if (failuredata::on) failure::jobcount();
    if (failuredata::on && commnodes::myid == 0) {
        std::string line(1, ' ');
        line += std::to_string(failuredata::nerodedjob);
        line += " element(s) eroded in the run";
        errorstop::writeline(line);
    }
}
