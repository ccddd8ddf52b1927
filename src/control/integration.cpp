#include "control/integration.hpp"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

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
#include "output/anim.hpp"
#include "output/curve.hpp"
#include "output/records.hpp"
#include "output/units.hpp"
#include "parallel/commnodes.hpp"

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

void updatefegeometry() {
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
    //   an axis on which a held component ("fixd") holds the node
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
                    if (record && (v[3 * k + c] != vb || a[3 * k + c] != ab))
                        energy::constrained(3 * static_cast<std::size_t>(k) + c, vb, ab);
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
                    v[at + i] = a[at + i] = 0.0;
                }
        }
    }

    const double half = 0.5 * (dtk + dtk1);
    for (int i = 0; i < 3 * n; ++i) v[i] = v[i] + a[i] * half;
    for (int i = 0; i < 3 * n; ++i) x[i] = x[i] + v[i] * dtk1;
}

void advance() {
    using namespace simulation;
    dtk = dtk1;
    dtk1 = 1.0e6;
    kinetice();
    guard::checkenergies(istep);
    const double tf = currenttmfunction(currenttime);
    feforce(tf);
    // Whether some process eroded an element in this pass and how far the
    // contact surface has moved ride on the reduction of the step.
    double largest[2] = {0.0, 0.0};
    if (failuredata::on) largest[0] = failure::afterpass() > 0 ? 1.0 : 0.0;
    if (elementdata::contact.on) largest[1] = contact::motion();
    guard::checkpass(istep, dtk1);
    commnodes::updateforce(istep, dtk1, largest, 2);
    // Nodes may have lost their last element, and a surface that lost
    // elements shows the faces behind them.
    if (failuredata::on && failure::agree(largest[0] > 0.0)) {
        guard::holders();
        if (elementdata::contact.on) contact::rebuild();
    }
    guard::checkstep(istep, dtk1);
    if (elementdata::contact.on) contact::apply(largest[1]);
    if (dataout::energyon) energy::afterexchange();
    updatefegeometry();
    if (dataout::energyon) energy::afterupdate(tf);
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
    // A restored run keeps the field series and the energy sums of its
    // checkpoint.
    if (fields && !sched.restored) fieldout::start();
    guard::start();
    if (failuredata::on) {
        failure::start();
        guard::holders();
    }
    if (elementdata::contact.on) contact::start(!sched.restored);
    if (dataout::energyon) {
        if (sched.restored)
            energy::resume();
        else
            energy::start();
    }
    do {
        advance();
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
        if (dataout::energyon && (output || last)) energy::write(currenttime);
        if (fields && (!(nextfield > currenttime) || last)) {
            nextfield = nextfield + dataout::fieldstep;
            fieldout::write(currenttime);
        }
        if (istep >= nextreport) {
            const double next = std::trunc(static_cast<double>(nextreport) + dataout::reportsteps);
            nextreport = next >= static_cast<double>(INT_MAX)   ? INT_MAX
                         : next <= static_cast<double>(INT_MIN) ? INT_MIN
                                                                : static_cast<int>(next);
            if (commnodes::myid == 0) {
                std::string line =
                    progressline(istep, currenttime, dtk1, elementdata::eledistortion, engkinetic);
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
    if (failuredata::on && commnodes::myid == 0) {
        std::string line(1, ' ');
        line += std::to_string(failuredata::nerodedjob);
        line += " element(s) eroded in the run";
        errorstop::writeline(line);
    }
}
