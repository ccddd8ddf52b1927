// The explicit time loop: node update with the rigid plane, kinetic energy,
// time-step policy, and the timing of output events and progress lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "control/integration.hpp"
#include "control/process.hpp"
#include "element/feforce.hpp"
#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/units.hpp"
#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

// 1.05 and 0.9 as single-precision constants, widened.
constexpr double growth = 1.0499999523162842;
constexpr double scale09 = 0.89999997615814209;

// One node per entry: mass, position, velocity, summed force.
struct nodestate {
    double m;
    double x[3];
    double v[3];
    double f[3];
};

void setnodes(const std::vector<nodestate>& nodes) {
    const int n = static_cast<int>(nodes.size());
    particledata::nb_particle = n;
    particledata::pos.assign(3 * nodes.size(), 0.0);
    particledata::vel.assign(3 * nodes.size(), 0.0);
    particledata::acc.assign(3 * nodes.size(), 0.0);
    particledata::fp.assign(3 * nodes.size(), 0.0);
    particledata::mp.assign(nodes.size(), 0.0);
    for (int k = 0; k < n; ++k) {
        particledata::mp[k] = nodes[k].m;
        for (int i = 0; i < 3; ++i) {
            particledata::pos[3 * k + i] = nodes[k].x[i];
            particledata::vel[3 * k + i] = nodes[k].v[i];
            particledata::acc[3 * k + i] = nodes[k].f[i];
        }
    }
}

class NodeUpdate : public ::testing::Test {
  protected:
    void SetUp() override { process::reset(); }
    void TearDown() override { process::reset(); }
};

TEST_F(NodeUpdate, ConstantForceOnTwoStepsIsHalfStepThenFullStep) {
    setnodes({{2.0, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {4.0, 0.0, 0.0}}});
    simulation::dtk = 0.0;
    simulation::dtk1 = 0.1;
    updatefegeometry();
    EXPECT_DOUBLE_EQ(particledata::acc[0], 2.0);
    EXPECT_DOUBLE_EQ(particledata::vel[0], 0.1);
    EXPECT_DOUBLE_EQ(particledata::pos[0], 0.01);
    for (int i : {1, 2}) {
        EXPECT_EQ(particledata::vel[i], 0.0);
        EXPECT_EQ(particledata::pos[i], 0.0);
    }

    // Second step: the element pass puts the force back into acc.
    particledata::acc[0] = 4.0;
    simulation::dtk = 0.1;
    simulation::dtk1 = 0.1;
    updatefegeometry();
    EXPECT_DOUBLE_EQ(particledata::vel[0], 0.3);
    EXPECT_DOUBLE_EQ(particledata::pos[0], 0.04);
}

TEST_F(NodeUpdate, VariableStepUsesMeanOfPreviousAndNewStep) {
    setnodes({{0.5, {1.0, 2.0, 3.0}, {1.0, -1.0, 0.0}, {1.0, 2.0, -4.0}}});
    simulation::dtk = 0.25;
    simulation::dtk1 = 0.125;
    updatefegeometry();
    // a = (2, 4, -8); velocity gains a * 0.1875; position moves by v * 0.125.
    const double v[3] = {1.375, -0.25, -1.5};
    const double x[3] = {1.171875, 1.96875, 2.8125};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(particledata::vel[i], v[i]) << i;
        EXPECT_EQ(particledata::pos[i], x[i]) << i;
    }
}

// The rigid plane, one node at a time, on a first step of 0.1 (so the
// velocity gains 0.05 times the acceleration) with mass 1.
struct planecase {
    const char* name;
    int dir;
    double coord;
    double x[3];
    double v[3];
    double f[3];
    double vexp[3];  // velocity after the step
};

TEST_F(NodeUpdate, RigidPlaneStopsOnlyTheNormalMotionThroughIt) {
    const planecase cases[] = {
        {"+z, node below the plane moving down",
         3,
         0.0,
         {0.0, 0.0, -0.001},
         {1.0, 2.0, -5.0},
         {3.0, 4.0, -6.0},
         {1.15, 2.2, 0.0}},
        {"+z, node above the plane is free",
         3,
         0.0,
         {0.0, 0.0, 0.001},
         {1.0, 2.0, -5.0},
         {3.0, 4.0, -6.0},
         {1.15, 2.2, -5.3}},
        {"+z, node on the plane",
         3,
         0.0,
         {0.0, 0.0, 0.0},
         {1.0, 2.0, -5.0},
         {3.0, 4.0, -6.0},
         {1.15, 2.2, 0.0}},
        {"+z, node beyond but moving back",
         3,
         0.0,
         {0.0, 0.0, -0.001},
         {0.0, 0.0, 5.0},
         {0.0, 0.0, 6.0},
         {0.0, 0.0, 5.3}},
        {"+z, moving into the plane, pulled out",
         3,
         0.0,
         {0.0, 0.0, -0.001},
         {0.0, 0.0, -5.0},
         {0.0, 0.0, 6.0},
         {0.0, 0.0, 0.3}},
        {"+z, at rest, pushed into the plane",
         3,
         0.0,
         {0.0, 0.0, -0.001},
         {0.0, 0.0, 0.0},
         {0.0, 0.0, -6.0},
         {0.0, 0.0, 0.0}},
        {"+z at 2.5", 3, 2.5, {7.0, 7.0, 2.0}, {0.0, 0.0, -1.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}},
        {"-x, node beyond moving on",
         -1,
         0.0,
         {0.001, 0.0, 0.0},
         {5.0, 1.0, 1.0},
         {6.0, 2.0, 2.0},
         {0.0, 1.1, 1.1}},
        {"-x, node on the body side",
         -1,
         0.0,
         {-0.001, 0.0, 0.0},
         {5.0, 1.0, 1.0},
         {6.0, 2.0, 2.0},
         {5.3, 1.1, 1.1}},
        {"+y at 1, node below",
         2,
         1.0,
         {0.0, 0.5, 0.0},
         {0.0, -1.0, 0.0},
         {0.0, -2.0, 0.0},
         {0.0, 0.0, 0.0}},
        {"-y at 1, same node is on the body side",
         -2,
         1.0,
         {0.0, 0.5, 0.0},
         {0.0, -1.0, 0.0},
         {0.0, -2.0, 0.0},
         {0.0, -1.1, 0.0}},
        {"dir 4 constrains nothing",
         4,
         0.0,
         {0.0, 0.0, -0.001},
         {0.0, 0.0, -5.0},
         {-6.0, -6.0, -6.0},
         {-0.3, -0.3, -5.3}},
        {"dir -4 constrains nothing",
         -4,
         0.0,
         {0.001, 0.001, 0.001},
         {5.0, 5.0, 5.0},
         {6.0, 6.0, 6.0},
         {5.3, 5.3, 5.3}},
        {"dir 0 is no plane",
         0,
         0.0,
         {0.0, 0.0, -0.001},
         {0.0, 0.0, -5.0},
         {0.0, 0.0, -6.0},
         {0.0, 0.0, -5.3}},
    };
    for (const planecase& c : cases) {
        SCOPED_TRACE(c.name);
        process::reset();
        setnodes(
            {{1.0, {c.x[0], c.x[1], c.x[2]}, {c.v[0], c.v[1], c.v[2]}, {c.f[0], c.f[1], c.f[2]}}});
        elementdata::plane = {c.dir, c.coord};
        simulation::dtk = 0.0;
        simulation::dtk1 = 0.1;
        updatefegeometry();
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(particledata::vel[i], c.vexp[i], 1e-12) << "component " << i;
            EXPECT_NEAR(particledata::pos[i], c.x[i] + c.vexp[i] * 0.1, 1e-12) << "component " << i;
        }
    }
}

TEST_F(NodeUpdate, PlaneActsOnEveryNodeIndependently) {
    // Two nodes on either side of z = 0: only the one beyond is held.
    setnodes({{1.0, {0.0, 0.0, -0.001}, {0.0, 0.0, -5.0}, {0.0, 0.0, -6.0}},
              {1.0, {0.0, 0.0, 0.001}, {0.0, 0.0, -5.0}, {0.0, 0.0, -6.0}}});
    elementdata::plane = {3, 0.0};
    simulation::dtk = 0.0;
    simulation::dtk1 = 0.1;
    updatefegeometry();
    EXPECT_EQ(particledata::vel[2], 0.0);
    EXPECT_EQ(particledata::acc[2], 0.0);
    EXPECT_EQ(particledata::pos[2], -0.001);
    EXPECT_NEAR(particledata::vel[5], -5.3, 1e-12);
    EXPECT_EQ(particledata::acc[5], -6.0);
}

TEST_F(NodeUpdate, NodeWithoutMassGetsZeroAccelerationAndAWarning) {
    setnodes({{0.0, {0.0, 0.0, 0.0}, {2.0, 0.0, -1.0}, {1.0, 1.0, 1.0}},
              {2.0, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {4.0, 0.0, 0.0}}});
    simulation::dtk = 0.0;
    simulation::dtk1 = 0.1;
    simulation::istep = 1;
    testing::internal::CaptureStdout();
    updatefegeometry();
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(particledata::acc[i], 0.0);
        EXPECT_TRUE(std::isfinite(particledata::pos[i]));
    }
    EXPECT_EQ(particledata::vel[0], 2.0);
    EXPECT_EQ(particledata::vel[2], -1.0);
    EXPECT_DOUBLE_EQ(particledata::pos[0], 0.2);
    EXPECT_DOUBLE_EQ(particledata::vel[3], 0.1);  // the other node is unaffected
    EXPECT_NE(out.find("*** Warning ***"), std::string::npos) << out;

    // The warning belongs to the first step only.
    particledata::acc.assign(6, 1.0);
    simulation::istep = 2;
    testing::internal::CaptureStdout();
    updatefegeometry();
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(particledata::acc[0], 0.0);
}

TEST(KineticEnergy, SumsHalfMassTimesSpeedSquaredOverTheNodes) {
    process::reset();
    kinetice();
    EXPECT_EQ(simulation::engkinetic, 0.0);  // no nodes

    // Forces must not enter: only the start-of-step velocities count.
    setnodes({{2.0, {9.0, 9.0, 9.0}, {1.0, 2.0, 2.0}, {100.0, 100.0, 100.0}},
              {3.0, {0.0, 0.0, 0.0}, {0.0, 0.0, -1.0}, {0.0, 0.0, 0.0}},
              {0.0, {0.0, 0.0, 0.0}, {50.0, 0.0, 0.0}, {0.0, 0.0, 0.0}}});
    simulation::engkinetic = -1.0;
    kinetice();
    EXPECT_EQ(simulation::engkinetic, 10.5);

    particledata::vel.assign(9, 0.0);
    kinetice();
    EXPECT_EQ(simulation::engkinetic, 0.0);
    process::reset();
}

// ---------------------------------------------------------------------------
// Runs of small decks in-process.

// A unit cube of density 1, Young's modulus 256 and Poisson's ratio 0: wave
// speed 16, stable step 1/16, taken unscaled unless `control` (run-control
// lines) gives another "dtsc".
std::string cubedeck(const std::string& control, const std::string& extra = "") {
    std::string d = "sovr unit cube\nnbmp 8\nnbel 1\nnmat 1\ndtsc 1.0\n" + control +
                    "\ntime 2 0.0 1.0 1000.0 1.0\nmate\n1 elas 1.0 256.0 0.0\npart\n"
                    "1 0 0.0 0.0 0.0\n2 0 1.0 0.0 0.0\n3 0 1.0 1.0 0.0\n4 0 0.0 1.0 0.0\n"
                    "5 0 0.0 0.0 1.0\n6 0 1.0 0.0 1.0\n7 0 1.0 1.0 1.0\n8 0 0.0 1.0 1.0\n"
                    "elem\n1 1 1 2 3 4 5 6 7 8\n" +
                    extra + "curv engk\nendi\n";
    return d;
}

struct runresult {
    std::string out;                 // standard output of input and loop
    std::vector<std::string> steps;  // progress lines
    std::vector<std::string> times;  // time column of the curve file
    std::string curve;               // whole curve file
    std::string anim;                // whole animation file
};

// Reads the deck in a fresh directory, lets `before` adjust the model, runs
// the loop and closes the files.
runresult runloop(const std::string& deck, const std::function<void()>& before = {}) {
    TempDir dir("timeloop");
    write_single_run(dir.path(), deck);
    runresult r;
    {
        InDir in(dir.path());
        process::reset();
        testing::internal::CaptureStdout();
        try {
            datain::inputpara();
            if (before) before();
            integration();
            ffi::closefiles();
        } catch (...) {
            std::fflush(stdout);
            r.out = testing::internal::GetCapturedStdout();
            ADD_FAILURE() << "the run stopped:\n" << r.out;
            process::reset();
            return r;
        }
        std::fflush(stdout);
        r.out = testing::internal::GetCapturedStdout();
        r.curve = read_file(dir / "aresult_curv.dat");
        r.anim = read_file(dir / "aresult_anim.dat");
    }
    for (const std::string& l : lines_of(r.out))
        if (l.rfind(" Step=", 0) == 0) r.steps.push_back(l);
    const std::vector<std::string> c = lines_of(r.curve);
    for (size_t i = 3; i < c.size(); ++i) r.times.push_back(c[i].substr(0, 15));
    return r;
}

class TimeLoop : public ::testing::Test {
  protected:
    void SetUp() override { process::reset(); }
    void TearDown() override { process::reset(); }
};

TEST_F(TimeLoop, EndTimeZeroTakesExactlyOneStepWithOutputAndALine) {
    runresult r = runloop(cubedeck(""));
    ASSERT_EQ(r.steps.size(), 1u) << r.out;
    EXPECT_EQ(r.steps[0],
              " Step=     1  T=0.000E+00  DT=6.250E-02  EDist=1.000E+00  K.E.=0.000E+00");
    EXPECT_EQ(r.times, std::vector<std::string>{"   0.000000D+00"});
    EXPECT_EQ(dataout::npts, 1);
    EXPECT_EQ(dataout::nres, 1);
    EXPECT_EQ(simulation::istep, 2);
    EXPECT_EQ(simulation::currenttime, 0.0625);
    EXPECT_EQ(simulation::dtk, 0.0);  // the first step had no previous step
    EXPECT_EQ(simulation::dtk1, 0.0625);
}

TEST_F(TimeLoop, StartAfterTheEndTakesNoStep) {
    runresult r = runloop(cubedeck("endt 0.5"), [] { simulation::currenttime = 0.75; });
    EXPECT_TRUE(r.steps.empty()) << r.out;
    EXPECT_EQ(r.curve, "");
    EXPECT_EQ(r.anim, "");
    EXPECT_EQ(dataout::npts, 0);
    EXPECT_EQ(simulation::istep, 1);
    EXPECT_EQ(simulation::currenttime, 0.75);
    EXPECT_EQ(simulation::dtk1, 0.0);
}

TEST_F(TimeLoop, LastStepStartsAtTheEndTime) {
    // Steps start at 0, 1/16, ..., 1/2: nine steps, the last one at endtime.
    runresult r = runloop(cubedeck("endt 0.5"));
    EXPECT_EQ(r.steps.size(), 9u) << r.out;
    EXPECT_EQ(simulation::istep, 10);
    EXPECT_EQ(simulation::currenttime, 0.5625);
    ASSERT_EQ(r.times.size(), 9u);
    EXPECT_EQ(r.times.back(), "   0.500000D+00");
}

TEST_F(TimeLoop, ReportEveryHundredStepsPrintsAtOneHundredAndTwoHundred) {
    // 241 steps (t = 0 .. 15 in steps of 1/16).
    runresult r = runloop(cubedeck("endt 15.0\nrepo 100\nouttime 100.0"));
    EXPECT_EQ(simulation::istep, 242);
    ASSERT_EQ(r.steps.size(), 3u) << r.out;
    EXPECT_EQ(r.steps[0],
              " Step=     1  T=0.000E+00  DT=6.250E-02  EDist=1.000E+00  K.E.=0.000E+00");
    EXPECT_EQ(r.steps[1],
              " Step=   100  T=6.188E+00  DT=6.250E-02  EDist=1.000E+00  K.E.=0.000E+00");
    EXPECT_EQ(r.steps[2],
              " Step=   200  T=1.244E+01  DT=6.250E-02  EDist=1.000E+00  K.E.=0.000E+00");
    EXPECT_EQ(r.times.size(), 1u);  // output time 100 is never reached
}

TEST_F(TimeLoop, ReportZeroPrintsEveryStep) {
    runresult r = runloop(cubedeck("endt 0.25\nrepo 0"));
    ASSERT_EQ(r.steps.size(), 5u) << r.out;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(r.steps[i].substr(0, 12), " Step=     " + std::to_string(i + 1));
}

TEST_F(TimeLoop, ReportStepsAreTruncatedSums) {
    // repo 3: lines at steps 1, 3, 6, 9.
    runresult r = runloop(cubedeck("endt 0.5\nrepo 3"));
    ASSERT_EQ(r.steps.size(), 4u) << r.out;
    const char* expect[] = {"     1", "     3", "     6", "     9"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.steps[i].substr(6, 6), expect[i]);
}

TEST_F(TimeLoop, OutputIntervalLongerThanTheStep) {
    struct outcase {
        const char* outt;
        std::vector<std::string> times;
    };
    const outcase cases[] = {
        // A multiple of the step: every fourth step.
        {"0.25", {"   0.000000D+00", "   0.250000D+00", "   0.500000D+00", "   0.750000D+00"}},
        // Not a multiple: the first step at or after each multiple of the
        // interval (0.1, 0.2, ... carried in single precision, so 0.5 itself
        // falls just short of the fifth multiple).
        {"0.1",
         {"   0.000000D+00", "   0.125000D+00", "   0.250000D+00", "   0.312500D+00",
          "   0.437500D+00", "   0.562500D+00", "   0.625000D+00", "   0.750000D+00"}},
    };
    for (const outcase& c : cases) {
        SCOPED_TRACE(c.outt);
        runresult r = runloop(cubedeck(std::string("endt 0.75\nrepo 1000\nouttime ") + c.outt));
        EXPECT_EQ(r.times, c.times);
        EXPECT_EQ(r.steps.size(), 1u);
        EXPECT_EQ(dataout::nres, static_cast<int>(c.times.size()));
        process::reset();
    }
}

TEST_F(TimeLoop, OutputIntervalShorterThanTheStepWritesEveryStepWithoutCatchingUp) {
    runresult r = runloop(cubedeck("endt 0.75\nouttime 0.01"));
    EXPECT_EQ(r.times.size(), 13u);
    EXPECT_EQ(dataout::npts, 13);
    EXPECT_EQ(dataout::nres, 13);
    // Every step has its output, once: the record times are the step times.
    EXPECT_EQ(r.times[1], "   0.625000D-01");
    EXPECT_EQ(r.times[12], "   0.750000D+00");
}

// ---------------------------------------------------------------------------
// Step policy.

TEST_F(TimeLoop, FirstStepIsTheScaledElementStep) {
    // 0.9 is carried in single precision.
    runresult r = runloop(cubedeck("dtsc 0.9"));
    ASSERT_EQ(r.steps.size(), 1u);
    EXPECT_EQ(simulation::dtk1, 0.0625 * scale09);
    EXPECT_EQ(simulation::dtk1old, 0.0625 * scale09);
}

TEST_F(TimeLoop, StepGrowsByTheLimitedFactorOfTheProcesssPreviousStep) {
    // Starting from a previous step of 0.001 the step may grow by exactly
    // 1.0499999523162842 per step until it reaches the element's 1/16.
    runresult r = runloop(cubedeck("endt 0.02\nrepo 1"), [] { simulation::dtk1old = 0.001; });
    double d = 0.001;
    double t = 0.0;
    std::vector<double> dts;
    while (t <= static_cast<double>(0.02f)) {
        d = growth * d;
        dts.push_back(d);
        t = t + d;
    }
    ASSERT_EQ(r.steps.size(), dts.size()) << r.out;
    EXPECT_EQ(simulation::currenttime, t);
    EXPECT_EQ(simulation::dtk1, dts.back());
    EXPECT_EQ(simulation::dtk1old, dts.back());
    EXPECT_EQ(simulation::dtk, dts[dts.size() - 2]);
    EXPECT_EQ(r.steps[0].substr(30, 9), "1.050E-03");
}

TEST_F(TimeLoop, GrowthLimitAndScaleInTheElementPass) {
    struct stepcase {
        const char* name;
        double old;
        double scale;
        double expect;
    };
    const stepcase cases[] = {
        {"limit binds", 0.01, 1.0, 0.01 * growth},
        {"limit just above the step", 0.0625 / growth * 1.0000001, 1.0, 0.0625},
        {"scale below one", 1.0e6, 0.5, 0.03125},
        {"scale above one", 1.0e6, 2.0, 0.125},
        {"scaled step above the limit", 0.1, 2.0, 0.1 * growth},
    };
    for (const stepcase& c : cases) {
        SCOPED_TRACE(c.name);
        runresult r = runloop(cubedeck(""), [&] {
            simulation::dtk1old = c.old;
            simulation::dtscale = c.scale;
        });
        EXPECT_EQ(simulation::dtk1, c.expect);
        EXPECT_EQ(simulation::dtk1old, c.expect);
        process::reset();
    }
}

TEST_F(TimeLoop, WithoutElementsTheSentinelStepIsKept) {
    // Nodes only: no element lowers the step, and the previous step of the
    // process is not touched.
    runresult r = runloop(
        "sovr nodes only\nnbmp 2\npart\n1 0 0.0 0.0 0.0\n2 0 1.0 0.0 0.0\nvelo\nnode 2 1.0 0.0 "
        "0.0\nendv\n"
        "curv engk\nendi\n",
        [] { simulation::dtk1old = 0.5; });
    ASSERT_EQ(r.steps.size(), 1u) << r.out;
    EXPECT_EQ(r.steps[0],
              " Step=     1  T=0.000E+00  DT=1.000E+06  EDist=1.000E+00  K.E.=0.000E+00");
    EXPECT_EQ(simulation::dtk1, 1.0e6);
    EXPECT_EQ(simulation::dtk1old, 0.5);
    EXPECT_EQ(simulation::currenttime, 1.0e6);
    // Node 2 has no mass, so it keeps its initial velocity and moves by v*dt.
    EXPECT_EQ(particledata::pos[3], 1.0 + 1.0e6);
}

TEST_F(TimeLoop, ElementPassWithoutElementsLeavesStepAndPreviousStep) {
    process::reset();
    setnodes({{1.0, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}}});
    particledata::fp = {1.0, 2.0, 3.0};
    simulation::dtk1 = 1.0e6;
    simulation::dtk1old = 0.125;
    feforce(0.5);
    EXPECT_EQ(simulation::dtk1, 1.0e6);
    EXPECT_EQ(simulation::dtk1old, 0.125);
    EXPECT_EQ(elementdata::eledistortion, 1.0);
    EXPECT_EQ(particledata::acc, (std::vector<double>{0.5, 1.0, 1.5}));
}

TEST_F(TimeLoop, RecordsCarryTheStartTimeAndTheEndOfStepPositions) {
    // A cube moving at 2 in x with no forces: positions gain 2/16 per step.
    runresult r = runloop(cubedeck("endt 0.0625",
                                   "velo\nnode 1 2.0 0.0 0.0\nnode 2 2.0 0.0 0.0\n"
                                   "node 3 2.0 0.0 0.0\nnode 4 2.0 0.0 0.0\nnode 5 2.0 0.0 0.0\n"
                                   "node 6 2.0 0.0 0.0\nnode 7 2.0 0.0 0.0\nnode 8 2.0 0.0 0.0\n"
                                   "endv\n"));
    ASSERT_EQ(r.times.size(), 2u);
    EXPECT_EQ(r.times[1], "   0.625000D-01");
    const std::vector<std::string> a = lines_of(r.anim);
    ASSERT_GE(a.size(), 4u + 8u + 1u + 1u + 8u);
    EXPECT_EQ(a[4], "  1.2500E-01  0.0000E+00  0.0000E+00");  // node 1 after step 1
    EXPECT_EQ(
        a[3 + 1 + 8 + 1],
        "ZONE T=\"Time =  6.2500E-02\" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN D=(FECONNECT)");
    EXPECT_EQ(a[3 + 1 + 8 + 1 + 1], "  2.5000E-01  0.0000E+00  0.0000E+00");
    // Kinetic energy of the start of each step: 0.5 * 1 * 4.
    EXPECT_EQ(r.steps.size(), 2u);
    EXPECT_EQ(r.steps[1].substr(r.steps[1].size() - 9), "2.000E+00");
}

TEST(ProgressLine, LayoutAndValuesThatDoNotFit) {
    EXPECT_EQ(progressline(1, 0.0, 1.25e-7, 1.0, 0.0),
              " Step=     1  T=0.000E+00  DT=1.250E-07  EDist=1.000E+00  K.E.=0.000E+00");
    EXPECT_EQ(progressline(999999, 12.34, 0.5, 0.0099996, 123456.0),
              " Step=999999  T=1.234E+01  DT=5.000E-01  EDist=1.000E-02  K.E.=1.235E+05");
    // A step number of seven digits does not fit its field; an exponent of
    // three digits takes the place of the letter.
    EXPECT_EQ(progressline(1000000, 1.0e100, 1.0e6, 1.0, 2.5e-100),
              " Step=******  T=1.000+100  DT=1.000E+06  EDist=1.000E+00  K.E.=2.500-100");
}

// ---------------------------------------------------------------------------

TEST(ModelReset, RestoresEveryLoadTimeValue) {
    // Dirty everything the time loop and the input touch.
    {
        TempDir dir("reset");
        write_file(dir / "Comm", "2\n1 2\n");
        write_file(dir / "a",
                   cubedeck("endt 0.125\nouttime 0.5\nrepo 7\ndtsc 0.5\nhour 2 0.3\njaum off\n"
                            "rigi -3 4.0\nncom 1",
                            "seos 1 1 100.0 1.5 2.0\n"));
        InDir in(dir.path());
        process::reset();
        testing::internal::CaptureStdout();
        try {
            datain::inputpara();
            integration();
        } catch (...) {}
        std::fflush(stdout);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(simulation::istep, 6) << out;  // five steps of 1/32
        simulation::engstrain = 5.0;
        elementdata::eledistortion = 0.5;
        materialdata::sm = 1.0;
        materialdata::sd[3] = 2.0;
        materialdata::sig[5] = 3.0;
        materialdata::young_ = 4.0;
        materialdata::etype_ = 1;
        EXPECT_TRUE(ffi::unit(ffi::iow1).is_open());
        process::reset();
    }
    using namespace simulation;
    for (char ch : title) EXPECT_EQ(ch, '\0');
    EXPECT_EQ(currenttime, 0.0);
    EXPECT_EQ(endtime, 0.0);
    EXPECT_EQ(istep, 1);
    EXPECT_EQ(dtk, 0.0);
    EXPECT_EQ(dtk1, 0.0);
    EXPECT_EQ(dtk1old, 1.0e6);
    EXPECT_EQ(dtscale, 0.89999997615814209);
    EXPECT_EQ(engkinetic, 0.0);
    EXPECT_EQ(engstrain, 0.0);

    EXPECT_EQ(particledata::nb_particle, 0);
    EXPECT_TRUE(particledata::pos.empty());
    EXPECT_TRUE(particledata::vel.empty());
    EXPECT_TRUE(particledata::acc.empty());
    EXPECT_TRUE(particledata::fp.empty());
    EXPECT_TRUE(particledata::mp.empty());

    EXPECT_EQ(elementdata::nb_element, 0);
    EXPECT_TRUE(elementdata::element_list.empty());
    EXPECT_FALSE(elementdata::element_list_allocated);
    EXPECT_EQ(elementdata::nb_comp, 0);
    EXPECT_TRUE(elementdata::complen.empty());
    EXPECT_TRUE(elementdata::compmember.empty());
    EXPECT_FALSE(elementdata::comp_allocated);
    EXPECT_EQ(elementdata::plane.dir, 0);
    EXPECT_EQ(elementdata::plane.coord, 0.0);
    EXPECT_EQ(elementdata::eledistortion, 0.0);

    EXPECT_EQ(materialdata::nb_mat, 0);
    EXPECT_TRUE(materialdata::mat_list.empty());
    EXPECT_FALSE(materialdata::mat_list_allocated);
    EXPECT_TRUE(materialdata::history_list.empty());
    EXPECT_FALSE(materialdata::history_allocated);
    EXPECT_EQ(materialdata::lenhistorylist, 0);
    EXPECT_TRUE(materialdata::jaum);
    EXPECT_EQ(materialdata::hourglass.method, 1);
    EXPECT_EQ(materialdata::hourglass.coef, 0.10000000149011612);
    EXPECT_FALSE(materialdata::vonmises);
    EXPECT_FALSE(materialdata::consistent);
    EXPECT_EQ(materialdata::sm, 0.0);
    EXPECT_EQ(materialdata::sd[3], 0.0);
    EXPECT_EQ(materialdata::sig[5], 0.0);
    EXPECT_EQ(materialdata::young_, 0.0);
    EXPECT_EQ(materialdata::etype_, 0);

    EXPECT_EQ(timefunctiondata::lentmfunction, 0);
    EXPECT_TRUE(timefunctiondata::tmfunction.empty());
    EXPECT_FALSE(timefunctiondata::tmfunction_allocated);

    EXPECT_EQ(dataout::outtimestep, 0.0);
    EXPECT_EQ(dataout::reportsteps, 0.0);
    EXPECT_EQ(dataout::ncurves, 0);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(dataout::curveoption[i], 0);
        EXPECT_EQ(dataout::curvepoint[i], 0);
        EXPECT_EQ(dataout::curveorigin[i], 0.0);
    }
    EXPECT_EQ(dataout::npts, 0);
    EXPECT_EQ(dataout::nres, 0);

    EXPECT_EQ(commnodes::nprocs, 1);
    EXPECT_EQ(commnodes::myid, 0);
    EXPECT_EQ(commnodes::ncomde, 0);
    EXPECT_FALSE(commnodes::sparse);
    EXPECT_TRUE(commnodes::nbnode.empty());
    EXPECT_TRUE(commnodes::mycnode.empty());

    EXPECT_EQ(ffi::ior, 11);
    EXPECT_EQ(ffi::iores, 13);
    EXPECT_EQ(ffi::iow1, 14);
    EXPECT_EQ(ffi::iow2, 15);
    EXPECT_TRUE(ffi::fileinp.empty());
    EXPECT_EQ(ffi::line_nb, 0);
    EXPECT_EQ(ffi::nb_read, 0);
    EXPECT_EQ(ffi::nb_word, 0);
    EXPECT_FALSE(ffi::unit(ffi::iow1).is_open());
    EXPECT_FALSE(ffi::unit(ffi::iow2).is_open());
    EXPECT_FALSE(ffi::unit(ffi::iores).is_open());
}

TEST(ModelReset, ASecondRunAfterResetMatchesTheFirst) {
    // Nothing of a run survives the reset: the same deck gives the same files.
    const std::string deck =
        cubedeck("endt 0.25\nrepo 2", "velo\nnode 7 1.0 -2.0 0.5\nendv\ncurv seqv 1\ncurv ener\n");
    runresult first = runloop(deck);
    process::reset();
    runresult second = runloop(deck);
    process::reset();
    EXPECT_EQ(first.curve, second.curve);
    EXPECT_EQ(first.anim, second.anim);
    EXPECT_EQ(first.steps, second.steps);
    EXPECT_FALSE(first.curve.empty());
}

}  // namespace
