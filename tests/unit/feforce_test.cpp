// The element pass (element/feforce.cpp): nodal forces of all elements and
// the process's proposed time step, against the chain of kernels it is made
// of; its stops; the hourglass coefficient as read from a deck.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "element/feforce.hpp"
#include "element/forces.hpp"
#include "element/geometry.hpp"
#include "element/timestep.hpp"
#include "elementcases.hpp"
#include "input/datain.hpp"
#include "material/constitution.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "testutil.hpp"

using namespace elementcases;

TEST(ElementForceDriver, ZeroVolumeLine) {
    for (int e : {1, 42, 123456}) {
        testing::internal::CaptureStdout();
        EXPECT_THROW(zerovolume(e), errorstop::stop_exception);
        std::fflush(stdout);
        char num[16];
        std::snprintf(num, sizeof num, "%6d", e);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(" *** Error *** Jacobian determinant of element ") + num +
                      " is negative ! \n");
    }
}

// ------------------------------------------------------------ element pass

namespace {

// One distorted, moving, stressed element on nodes 1-8 and a free node 9.
void setupelementpass(int method) {
    process::reset();
    const Hex h = distorted();
    particledata::nb_particle = 9;
    particledata::pos.assign(27, 0.0);
    particledata::vel.assign(27, 0.0);
    particledata::fp.assign(27, 0.0);
    particledata::acc.assign(27, -99.0);
    particledata::mp.assign(9, 1.0);
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 3; ++i) {
            particledata::pos[3 * k + i] = h.x[k][i];
            particledata::vel[3 * k + i] = 3.0 * std::sin(0.4 + 1.7 * k + 2.3 * i);
            particledata::fp[3 * k + i] = 1.0e3 * (k + 1) * (i - 1);
        }
    particledata::pos[24] = 7.0;
    particledata::fp[25] = 5.0e4;
    elementdata::nb_element = 1;
    elementdata::element_list.assign(1, element{{1, 2, 3, 4, 5, 6, 7, 8}, 1, 1});
    material m{};
    m.mtype = 3;
    m.density = 7800.0;
    m.young = 2.0e11;
    m.poisson = 0.3;
    m.wavespeed = 5900.0;
    m.yield0 = 3.0e7;  // below the initial equivalent stress: the update yields
    m.tangmod = 1.0e9;
    materialdata::nb_mat = 1;
    materialdata::mat_list.assign(1, m);
    history hist{};
    double vol, ijac[3][3];
    jacobian(h.x, vol, ijac);
    hist.vol0 = vol * 1.01;
    hist.sig_y = m.yield0;
    hist.sm = -2.0e7;
    const double sd[6] = {3.0e7, -1.0e7, -2.0e7, 5.0e6, -4.0e6, 8.0e6};
    for (int i = 0; i < 6; ++i) hist.sd[i] = sd[i];
    materialdata::history_list.assign(1, hist);
    materialdata::lenhistorylist = 1;
    materialdata::hourglass = {method, 0.1};
    simulation::dtk = 1.0e-5;
    simulation::dtk1 = 1.0e6;
}

}  // namespace

// The element pass equals the chain of kernels: loads times tf, internal
// forces of the updated stress, then hourglass forces; the step is the scaled
// element step, limited to 5 % growth.
TEST(ElementForceDriver, PassEqualsKernelChain) {
    for (int method : {0, 1, 2}) {
        SCOPED_TRACE("hourglass method " + std::to_string(method));
        setupelementpass(method);
        // The reference chain, on copies.
        const double tf = 0.75;
        std::vector<double> acc(27);
        for (int i = 0; i < 27; ++i)
            acc[static_cast<size_t>(i)] = particledata::fp[static_cast<size_t>(i)] * tf;
        double xyz[8][3], v[8][3];
        for (int k = 0; k < 8; ++k)
            for (int i = 0; i < 3; ++i) {
                const size_t j = 3 * static_cast<size_t>(k) + static_cast<size_t>(i);
                xyz[k][i] = particledata::pos[j];
                v[k][i] = particledata::vel[j];
            }
        double vol, ijac[3][3], de[6], vort[3], pkxj[4][3];
        jacobian(xyz, vol, ijac);
        strain(simulation::dtk, v, ijac, de, vort, pkxj);
        const material m = materialdata::mat_list[0];
        history h = materialdata::history_list[0];
        const double rho = m.density * h.vol0 / vol;
        double dte = 1.0e6, edist = 1.0;
        elementtimestep(xyz, vol, m.wavespeed, dte, edist);
        materialdata::constitution(de, vort, rho, h, m, vol);
        const double energy = simulation::engstrain;
        simulation::engstrain = 0.0;
        const int node[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        double f[8][3];
        nodalforce_kernel(pkxj, h.sm, h.sd, vol, f);
        scatter_add(node, f, acc.data());
        if (method != 0) {
            double fh[3][8];
            const double vpow = std::pow(vol, 0.6666666865348816);
            if (method == 1)
                hgforcestandard_t(v, rho, m.wavespeed, 0.1, vpow, fh);
            else
                hgforceflangan_t(v, xyz, pkxj, rho, m.wavespeed, 0.1, vpow, fh);
            scatter_add_t(node, fh, acc.data());
        }

        for (const double old : {1.0e6, 1.0e-6}) {
            SCOPED_TRACE("dtk1old " + std::to_string(old));
            setupelementpass(method);
            simulation::dtk1old = old;
            simulation::engstrain = 0.0;
            feforce(tf);
            for (int i = 0; i < 27; ++i)
                EXPECT_EQ(particledata::acc[static_cast<size_t>(i)], acc[static_cast<size_t>(i)])
                    << "entry " << i;
            const history& got = materialdata::history_list[0];
            EXPECT_EQ(got.sm, h.sm);
            for (int i = 0; i < 6; ++i) EXPECT_EQ(got.sd[i], h.sd[i]);
            EXPECT_EQ(got.epeff, h.epeff);
            EXPECT_GT(got.epeff, 0.0);  // the update did yield
            EXPECT_EQ(simulation::engstrain, energy);
            EXPECT_EQ(elementdata::eledistortion, edist);
            const double limited =
                old == 1.0e6 ? dte * static_cast<double>(0.9f) : 1.0499999523162842 * old;
            EXPECT_EQ(simulation::dtk1, limited);
            EXPECT_EQ(simulation::dtk1old, limited);
        }
    }
    process::reset();
}

// An unknown hourglass method with the control on stops the pass at the
// first element with its message; with the control off it is never looked at.
TEST(ElementForceDriver, UnknownHourglassMethodStops) {
    setupelementpass(4);
    testing::internal::CaptureStdout();
    EXPECT_THROW(feforce(1.0), errorstop::stop_exception);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " ***Error*** Invalid Hourglass control method !\n");
    setupelementpass(4);
    materialdata::hourglass.coef = 0.0;
    EXPECT_NO_THROW(feforce(1.0));
    process::reset();
}

TEST(ElementForceDriver, NoElementsLeavesLoadsAndSentinel) {
    setupelementpass(1);
    elementdata::nb_element = 0;
    simulation::dtk1old = 3.0e-4;
    elementdata::eledistortion = 0.2;
    feforce(2.0);
    for (int i = 0; i < 27; ++i)
        EXPECT_EQ(particledata::acc[static_cast<size_t>(i)],
                  2.0 * particledata::fp[static_cast<size_t>(i)]);
    EXPECT_EQ(simulation::dtk1, 1.0e6);
    EXPECT_EQ(simulation::dtk1old, 3.0e-4);
    EXPECT_EQ(elementdata::eledistortion, 1.0);
    process::reset();
}

// The coefficient of "hour" is read in single precision: 1.0e-6 from a deck
// is exactly the threshold and leaves the control off.
TEST(ElementHourglass, DeckCoefficientAgainstThreshold) {
    struct Case {
        const char* record;
        int mode;
    };
    const Case cases[] = {
        {"hour 1 1.0e-6", 0}, {"hour 2 1.0e-6", 0}, {"hour 1 1.1e-6", 1},
        {"hour 2 0.05", 2},   {"hour 0 0.1", 0},    {"hour 5 0.0", 0},
    };
    for (const Case& cs : cases) {
        process::reset();
        testutil::TempDir dir("hourdeck");
        testutil::write_file(dir / "Comm", "0\n\n");
        testutil::write_file(dir / "a", std::string(cs.record) + "\nendi\n");
        {
            testutil::InDir in(dir.path());
            datain::inputpara();
            EXPECT_EQ(hourglassmode(), cs.mode) << cs.record;
            process::reset();
        }
    }
}
