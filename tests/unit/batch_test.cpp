// The batched element pass (element/batch.hpp through feforce_<width>.cpp):
// on a block that mixes materials, equations of state, history records used
// twice or out of order, and elements left over after the last full batch,
// every width the processor supports gives the scalar path's bits; the stops
// inside a batch name the same element after the same work.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "element/feforce.hpp"
#include "element/geometry.hpp"
#include "element/simd.hpp"
#include "material/constitution.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"

namespace {

const simd::width allwidths[] = {simd::width::scalar, simd::width::sse2, simd::width::avx2,
                                 simd::width::avx512};

// Sets HEXDYN_SIMD for the lifetime of the object, then restores it.
class forcedwidth {
  public:
    explicit forcedwidth(simd::width w) {
        const char* old = std::getenv("HEXDYN_SIMD");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("HEXDYN_SIMD", simd::name(w), 1);
    }
    ~forcedwidth() {
        if (had_)
            setenv("HEXDYN_SIMD", old_.c_str(), 1);
        else
            unsetenv("HEXDYN_SIMD");
    }

  private:
    bool had_ = false;
    std::string old_;
};

double wobble(int i, int j) { return std::sin(1.3 * i + 0.7 * j + 0.1 * i * j); }

material makematerial(int mtype, int etype) {
    material m{};
    m.mtype = mtype;
    m.etype = etype;
    m.density = 7850.0;
    m.young = 2.0e11;
    m.poisson = 0.3;
    m.wavespeed = 5800.0;
    m.yield0 = 2.0e8;
    m.tangmod = 1.0e9;
    m.bjc = 2.75e8;
    m.njc = 0.36;
    m.cjc = 0.022;
    if (etype == 1) {
        m.c1eos = 1.6e11;
        m.c2eos = 3.2e11;
        m.c3eos = 1.9e11;
        m.c4eos = 1.7e4;
    }
    return m;
}

constexpr int nx = 6, ny = 5, nz = 3;
constexpr int nelem = nx * ny * nz;  // 90: 11 batches of 8 and 2 left over

// A jittered block compressed along z and sheared, with materials
//   1 elastic, 2 perfectly plastic with the Gruneisen state, 3 linear
//   hardening, 4 Johnson-Cook, 5 Johnson-Cook with the Gruneisen state,
// or, with bulk viscosity, material 1 with the Gruneisen state too and a
// velocity along z that compresses some elements and expands others (lanes
// on both sides of the viscosity's compression test in one batch),
// in runs of 16 (whole batches of one material), then changing from element
// to element (mixed batches), then runs of 10 of the Johnson-Cook pair. The
// history records of elements 17-24 are handed out in reverse order;
// elements 65 and 67 share one, and so do elements 4 and 13 (in different
// batches of one block at every width: the later must see the earlier's
// update).
//
// With `curves`, materials 3 to 5 are the models that return onto their
// hardening curve lane by lane: 3 power law, 4 Johnson-Cook with thermal
// softening, 5 Voce with the Gruneisen state.
void buildblock(int hgmethod, bool jaum, bool bulk, bool curves = false) {
    process::reset();
    const int px = nx + 1, py = ny + 1, pz = nz + 1;
    const int nn = px * py * pz;
    particledata::nb_particle = nn;
    particledata::pos.assign(3 * static_cast<size_t>(nn), 0.0);
    particledata::vel.assign(3 * static_cast<size_t>(nn), 0.0);
    particledata::acc.assign(3 * static_cast<size_t>(nn), 0.0);
    particledata::fp.assign(3 * static_cast<size_t>(nn), 0.0);
    particledata::mp.assign(nn, 0.0);
    const double h = 1.0e-3, rate = 2.0e4;
    auto node = [&](int i, int j, int k) { return i + px * (j + py * k) + 1; };
    for (int k = 0; k < pz; ++k)
        for (int j = 0; j < py; ++j)
            for (int i = 0; i < px; ++i) {
                const int n = 3 * (node(i, j, k) - 1);
                const double z = k * h + 0.04 * h * wobble(i + k, j);
                particledata::pos[n] = i * h + 0.05 * h * wobble(i, j + k);
                particledata::pos[n + 1] = j * h + 0.03 * h * wobble(j, i - k);
                particledata::pos[n + 2] = z;
                particledata::vel[n] = 0.2 * rate * z + 0.3 * wobble(k, i + j);
                particledata::vel[n + 1] = 0.2 * wobble(i * j, k);
                particledata::vel[n + 2] = bulk ? 25.0 * wobble(i + 2 * k, j) : -rate * z;
                particledata::fp[n + 2] = 10.0 * wobble(i, j);
            }
    materialdata::mat_list = {makematerial(1, bulk ? 1 : 0), makematerial(2, 1), makematerial(3, 0),
                              makematerial(4, 0), makematerial(4, 1)};
    if (curves) {
        std::vector<material>& ml = materialdata::mat_list;
        ml[2].mtype = 6;  // plaw: A + B eps^n
        ml[3].mtype = 5;  // jcth, reference rate 1/s, heated by its plastic work
        ml[3].mjc = 1.0;
        ml[3].tmelt = 1800.0;
        ml[3].troom = 294.0;
        ml[3].cpjc = 477.0;
        ml[3].betajc = 0.9;
        ml[3].ratejc = 1.0;
        ml[4].mtype = 7;  // voce: A + Q (1 - exp(-C eps))
        ml[4].vocq = 3.0e8;
        ml[4].vocc = 20.0;
    }
    materialdata::nb_mat = 5;
    materialdata::jaum = jaum;
    materialdata::hourglass = {hgmethod, 0.1};
    materialdata::bulk = {bulk, 0.06, 1.5};

    elementdata::nb_element = nelem;
    elementdata::element_list.assign(nelem, element{});
    materialdata::history_list.assign(nelem, history{});
    int e = 0;
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i, ++e) {
                element& el = elementdata::element_list[e];
                const int c[8] = {node(i, j, k),
                                  node(i + 1, j, k),
                                  node(i + 1, j + 1, k),
                                  node(i, j + 1, k),
                                  node(i, j, k + 1),
                                  node(i + 1, j, k + 1),
                                  node(i + 1, j + 1, k + 1),
                                  node(i, j + 1, k + 1)};
                for (int a = 0; a < 8; ++a) el.node[a] = c[a];
                if (e < 40)
                    el.mat = 1 + (e / 16) % 5;
                else if (e < 60)
                    el.mat = 1 + e % 5;
                else
                    el.mat = 4 + (e / 10) % 2;
                el.nhistory = (e >= 16 && e < 24) ? 40 - e : e + 1;
                if (e == 66) el.nhistory = 65;
                if (e == 12) el.nhistory = 4;
            }
    for (int r = 0; r < nelem; ++r) {
        const element& el = elementdata::element_list[r];
        const material& m = materialdata::mat_list[el.mat - 1];
        history& hs = materialdata::history_list[el.nhistory - 1];
        double xyz[8][3];
        for (int a = 0; a < 8; ++a)
            for (int j = 0; j < 3; ++j) xyz[a][j] = particledata::pos[3 * (el.node[a] - 1) + j];
        double vol, ijac[3][3];
        jacobian(xyz, vol, ijac);
        hs.vol0 = vol;
        hs.sig_y = m.yield0;
        if (m.mtype == 5) hs.temp = m.troom;
        for (int a = 0; a < 8; ++a) particledata::mp[el.node[a] - 1] += vol * m.density * 0.125;
    }
    simulation::dtk1 = 1.0e6;
    simulation::dtk1old = 1.0e6;
    simulation::dtscale = 0.9;
    simulation::engstrain = 0.0;
}

// Everything the element pass writes, as bytes.
std::vector<unsigned char> snapshot() {
    std::vector<unsigned char> s;
    auto put = [&](const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        s.insert(s.end(), b, b + n);
    };
    put(particledata::acc.data(), particledata::acc.size() * sizeof(double));
    put(particledata::pos.data(), particledata::pos.size() * sizeof(double));
    put(particledata::vel.data(), particledata::vel.size() * sizeof(double));
    put(materialdata::history_list.data(), materialdata::history_list.size() * sizeof(history));
    const double scalars[4] = {simulation::engstrain, simulation::dtk1, simulation::dtk1old,
                               elementdata::eledistortion};
    put(scalars, sizeof scalars);
    return s;
}

// Steps of the element pass with a plain central-difference update.
// With `stable`, the stable step and the hourglass forces kept apart for the
// energy balance: every step's dtk1 and the last hourglass forces join the
// state. With `midstep`, "midg on"; with `plastic`, "vmis on" and "cons on".
std::vector<unsigned char> runsteps(simd::width w, int hgmethod, bool jaum, bool bulk, int steps,
                                    bool stable = false, bool midstep = false, bool plastic = false,
                                    bool curves = false, bool math = false) {
    forcedwidth forced(w);
    buildblock(hgmethod, jaum, bulk, curves);
    materialdata::solvermath = math;
    elementdata::midstep = midstep;
    materialdata::vonmises = materialdata::consistent = plastic;
    std::vector<double> steplist;
    if (stable) {
        simulation::stablestep = true;
        particledata::fhg.assign(particledata::acc.size(), 0.0);
    }
    for (int n = 0; n < steps; ++n) {
        simulation::dtk = 4.0e-8;
        simulation::dtk1 = 1.0e6;
        for (double& f : particledata::fhg) f = 0.0;
        feforce(1.0);
        steplist.push_back(simulation::dtk1);
        const size_t nn = particledata::mp.size();
        for (size_t i = 0; i < 3 * nn; ++i) {
            particledata::vel[i] +=
                particledata::acc[i] / particledata::mp[i / 3] * simulation::dtk;
            particledata::pos[i] += particledata::vel[i] * simulation::dtk;
        }
    }
    std::vector<unsigned char> s = snapshot();
    if (stable) {
        const auto* a = reinterpret_cast<const unsigned char*>(steplist.data());
        s.insert(s.end(), a, a + steplist.size() * sizeof(double));
        const auto* h = reinterpret_cast<const unsigned char*>(particledata::fhg.data());
        s.insert(s.end(), h, h + particledata::fhg.size() * sizeof(double));
    }
    return s;
}

// Runs one pass that stops; returns its console line and the state at the stop.
std::pair<std::string, std::vector<unsigned char>> stoppedpass(simd::width w, void (*spoil)()) {
    forcedwidth forced(w);
    buildblock(2, true, false);
    spoil();
    simulation::dtk = 4.0e-8;
    testing::internal::CaptureStdout();
    bool stopped = false;
    try {
        feforce(1.0);
    } catch (const errorstop::stop_exception&) { stopped = true; }
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(stopped);
    return {out, snapshot()};
}

}  // namespace

TEST(BatchedElementPass, EveryWidthGivesTheScalarBits) {
    for (bool bulk : {false, true}) {
        for (bool jaum : {true, false}) {
            for (int hg : {0, 1, 2}) {
                SCOPED_TRACE("hourglass " + std::to_string(hg) + (jaum ? " jaum" : " no jaum") +
                             (bulk ? " bulk" : ""));
                const std::vector<unsigned char> ref =
                    runsteps(simd::width::scalar, hg, jaum, bulk, 12);
                // The block does what it is built for: Johnson-Cook lanes
                // yield; with bulk viscosity, elements in compression carry a
                // viscous pressure and the others none, and the equation of
                // state's lanes have taken up energy.
                int plastic = 0, viscous = 0, quiet = 0, energy = 0;
                for (const history& h : materialdata::history_list) {
                    plastic += h.epeff > 0.0;
                    viscous += h.q > 0.0;
                    quiet += h.q == 0.0;
                    energy += h.eint != 0.0;
                }
                EXPECT_GT(plastic, bulk ? 5 : 20);
                if (bulk) {
                    EXPECT_GT(viscous, 20);
                    EXPECT_GT(quiet, 20);
                    EXPECT_GT(energy, 30);
                }
                for (simd::width w : allwidths) {
                    if (w == simd::width::scalar || !simd::supported(w)) continue;
                    SCOPED_TRACE(simd::name(w));
                    EXPECT_TRUE(runsteps(w, hg, jaum, bulk, 12) == ref);
                }
            }
        }
    }
    process::reset();
}

// The stable step (with the bulk and hourglass viscosities in it) and the
// hourglass forces kept for the energy balance are the same bits at every
// width; the step is shorter than the volume-over-face step.
TEST(BatchedElementPass, StableStepAndHourglassForcesAreTheScalarBits) {
    for (bool bulk : {false, true}) {
        for (int hg : {1, 2}) {
            SCOPED_TRACE("hourglass " + std::to_string(hg) + (bulk ? " bulk" : ""));
            runsteps(simd::width::scalar, hg, true, bulk, 1);
            const double plain = simulation::dtk1;
            const std::vector<unsigned char> ref =
                runsteps(simd::width::scalar, hg, true, bulk, 12, true);
            runsteps(simd::width::scalar, hg, true, bulk, 1, true);
            EXPECT_LT(simulation::dtk1, 0.9 * plain);
            double hgsum = 0.0;
            for (const double f : particledata::fhg) hgsum += std::fabs(f);
            EXPECT_GT(hgsum, 0.0);
            for (simd::width w : allwidths) {
                if (w == simd::width::scalar || !simd::supported(w)) continue;
                SCOPED_TRACE(simd::name(w));
                EXPECT_TRUE(runsteps(w, hg, true, bulk, 12, true) == ref);
            }
        }
    }
    process::reset();
}

// "midg on": the strain increment from the mid-step geometry, at every
// width the scalar path's bits, and not those of the switch off.
TEST(BatchedElementPass, MidStepStrainGivesTheScalarBitsAtEveryWidth) {
    for (bool bulk : {false, true}) {
        for (int hg : {1, 2}) {
            SCOPED_TRACE("hourglass " + std::to_string(hg) + (bulk ? " bulk" : ""));
            const auto ref = runsteps(simd::width::scalar, hg, true, bulk, 12, false, true);
            EXPECT_FALSE(runsteps(simd::width::scalar, hg, true, bulk, 12) == ref);
            for (simd::width w : allwidths) {
                if (w == simd::width::scalar || !simd::supported(w)) continue;
                SCOPED_TRACE(simd::name(w));
                EXPECT_TRUE(runsteps(w, hg, true, bulk, 12, false, true) == ref);
            }
        }
    }
    process::reset();
}

// "vmis on" and "cons on": the von Mises trial stress and the Johnson-Cook
// return onto its curve (lane by lane) give the scalar path's bits at every
// width, and more plastic strain in pla1 than none.
TEST(BatchedElementPass, CorrectedPlasticityGivesTheScalarBitsAtEveryWidth) {
    // With "math on" the yielding lanes of a block's batches of one material
    // iterate together, a converged lane handing its place to the next.
    for (bool math : {false, true})
        for (bool bulk : {false, true}) {
            SCOPED_TRACE(std::string(bulk ? "bulk" : "no bulk") + (math ? " math" : ""));
            const auto ref =
                runsteps(simd::width::scalar, 2, true, bulk, 12, false, false, true, false, math);
            double pla1 = 0.0;
            for (int e = 0; e < nelem; ++e)
                if (elementdata::element_list[e].mat == 2)
                    pla1 +=
                        materialdata::history_list[elementdata::element_list[e].nhistory - 1].epeff;
            EXPECT_GT(pla1, 0.0);
            EXPECT_FALSE(runsteps(simd::width::scalar, 2, true, bulk, 12) == ref);
            for (simd::width w : allwidths) {
                if (w == simd::width::scalar || !simd::supported(w)) continue;
                SCOPED_TRACE(simd::name(w));
                EXPECT_TRUE(runsteps(w, 2, true, bulk, 12, false, false, true, false, math) == ref);
            }
        }
    process::reset();
}

// jcth, plaw and voce in the lanes (their returns lane by lane with the
// scalar code, or with "math on" in the lanes, a block's yielding lanes of
// one material iterating together): at every width the scalar path's bits, with and without the
// stable step, bulk viscosity and an equation of state; every model yields
// and jcth heats.
TEST(BatchedElementPass, CurveModelsGiveTheScalarBitsAtEveryWidth) {
    for (bool math : {false, true})
        for (bool bulk : {false, true}) {
            for (bool stable : {false, true}) {
                SCOPED_TRACE(std::string(bulk ? "bulk" : "no bulk") + (stable ? " stab" : "") +
                             (math ? " math" : ""));
                const auto ref = runsteps(simd::width::scalar, 2, true, bulk, 12, stable, false,
                                          false, true, math);
                int plastic[8] = {}, heated = 0;
                for (int e = 0; e < nelem; ++e) {
                    const element& el = elementdata::element_list[e];
                    const history& h = materialdata::history_list[el.nhistory - 1];
                    plastic[el.mat] += h.epeff > 0.0;
                    heated += el.mat == 4 && h.temp > 294.0;
                }
                for (int mat : {3, 4, 5}) EXPECT_GT(plastic[mat], 2) << "material " << mat;
                EXPECT_GT(heated, 2);
                for (simd::width w : allwidths) {
                    if (w == simd::width::scalar || !simd::supported(w)) continue;
                    SCOPED_TRACE(simd::name(w));
                    EXPECT_TRUE(runsteps(w, 2, true, bulk, 12, stable, false, false, true, math) ==
                                ref);
                }
            }
        }
    process::reset();
}

// A degenerate element in the middle of a batch (element 27: lane 2 of a
// batch of 4 or 8, lane 0 of a pair) stops the pass naming it, after
// elements 1-26 have been processed in order; a batch of a material type
// without an update stops at its first element in the same way.
TEST(BatchedElementPass, StopsNameTheScalarPathsElement) {
    struct scenario {
        const char* name;
        void (*spoil)();
        const char* line;
    };
    const scenario scenarios[] = {
        {"zero volume",
         [] {
             element& el = elementdata::element_list[26];
             for (int a = 1; a < 8; ++a) el.node[a] = el.node[0];
         },
         " *** Error *** Jacobian determinant of element     27 is negative ! \n"},
        {"material type",
         [] {
             materialdata::mat_list.push_back(makematerial(99, 0));
             materialdata::nb_mat = 6;
             for (int e = 16; e < 40; ++e) elementdata::element_list[e].mat = 6;
         },
         " *** Stop *** material type 99 has not been implemented !\n"},
    };
    for (const scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        const auto ref = stoppedpass(simd::width::scalar, s.spoil);
        EXPECT_EQ(ref.first, s.line);
        for (simd::width w : allwidths) {
            if (w == simd::width::scalar || !simd::supported(w)) continue;
            SCOPED_TRACE(simd::name(w));
            const auto got = stoppedpass(w, s.spoil);
            EXPECT_EQ(got.first, ref.first);
            EXPECT_TRUE(got.second == ref.second);
        }
    }
    process::reset();
}
