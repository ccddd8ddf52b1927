// The energy balance (control/energy.cpp) on two nodes joined by a spring
// and a dashpot, stepped by the solver's node update: the spring's strain
// energy comes from its stretch, the dashpot stands for hourglass control.
// A consistent force closes the balance to rounding; a force the element
// does not account for (the dashpot's force doubled on the nodes but not in
// its own record) shows as an error, which a balance that took the hourglass
// energy as the rest of the element work would have hidden.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "control/energy.hpp"
#include "control/integration.hpp"
#include "control/process.hpp"
#include "model/model.hpp"

namespace {

struct result {
    double worst;      // largest |energy_error|
    double hourglass;  // final hourglass energy
};

result springanddashpot(double dashpotscale) {
    process::reset();
    particledata::nb_particle = 2;
    particledata::pos = {0, 0, 0, 1, 0, 0};
    particledata::vel = {1, 0.5, 0, -1, 0, 0.25};
    particledata::acc.assign(6, 0.0);
    particledata::fp.assign(6, 0.0);
    particledata::mp = {2.0, 3.0};
    const double k = 50.0, damp = 0.4, dt = 0.01;
    materialdata::hourglass.method = 2;  // the balance keeps hourglass forces apart
    materialdata::hourglass.coef = 0.1;
    energy::start();
    result r{0.0, 0.0};
    for (int n = 1; n <= 400; ++n) {
        simulation::istep = n;
        simulation::dtk = n == 1 ? 0.0 : dt;
        simulation::dtk1 = dt;
        const double* x = particledata::pos.data();
        const double* v = particledata::vel.data();
        double* f = particledata::acc.data();
        for (int i = 0; i < 3; ++i) {
            // Spring of rest length 1 along x, stiffness k in every component.
            const double s = x[3 + i] - x[i] - (i == 0 ? 1.0 : 0.0);
            const double h = damp * (v[3 + i] - v[i]);
            particledata::fhg[i] = h;
            particledata::fhg[3 + i] = -h;
            f[i] = k * s + dashpotscale * h;
            f[3 + i] = -k * s - dashpotscale * h;
        }
        double s2 = 0.0;
        for (int i = 0; i < 3; ++i) {
            const double s = x[3 + i] - x[i] - (i == 0 ? 1.0 : 0.0);
            s2 += s * s;
        }
        simulation::engstrain = 0.5 * k * s2;
        energy::afterexchange();
        updatefegeometry();
        energy::afterupdate(0.0);
        const energy::balance b = energy::global();
        r.worst = std::fmax(r.worst, std::fabs(b.error));
        r.hourglass = b.hourglass;
    }
    process::reset();
    return r;
}

}  // namespace

TEST(EnergyBalance, ClosesForConsistentForcesAndCatchesAnUnaccountedOne) {
    const result good = springanddashpot(1.0);
    EXPECT_LT(good.worst, 1e-12);
    EXPECT_GT(good.hourglass, 0.01);  // the dashpot has dissipated energy
    const result bad = springanddashpot(2.0);
    EXPECT_GT(bad.worst, 0.05);
}
