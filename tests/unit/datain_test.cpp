// Reading whole decks into the model data in-process: keyword records,
// sizes, components, loads and velocities, materials and the equation of
// state, the load time function and the defaults of a fresh model.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control/process.hpp"
#include "control/timefunction.hpp"
#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "inputcases.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "parallel/commnodes.hpp"
#include "testutil.hpp"

namespace {

using inputcases::captured;
using inputcases::padded;
using testutil::InDir;
using testutil::TempDir;

class Deck : public ::testing::Test {
  protected:
    TempDir dir{"deck"};
    std::unique_ptr<InDir> in;
    std::string out;  // standard output of the last load

    void SetUp() override {
        process::reset();
        in = std::make_unique<InDir>(dir.path());
        testutil::write_file(dir / "Comm", "0\n\n");
    }
    void TearDown() override {
        process::reset();
        in.reset();
    }

    // Reads `deck` as deck "a"; returns true when the input ended in a stop.
    // With `whole` false only the keyword records are read, without the
    // checks that need the whole deck (so sizes may go without their blocks).
    bool load(const std::string& deck, bool whole = true) {
        process::reset();
        testutil::write_file(dir / "a", deck);
        const inputcases::Outcome o = inputcases::stopped_or_not([whole] {
            if (whole) {
                datain::inputpara();
            } else {
                commnodes::readcomnode();
                ffi::openfile();
                datain::getdata();
            }
        });
        out = o.out;
        return o.stopped;
    }

    void loads(const std::string& deck, bool whole = true) {
        ASSERT_FALSE(load(deck, whole)) << deck << "\n" << out;
    }
};

std::vector<int> members(int c) {
    using namespace elementdata;
    std::vector<int> m;
    for (int k = 0; k < complen[static_cast<size_t>(c - 1)]; ++k)
        m.push_back(
            compmember[static_cast<size_t>(c - 1) * static_cast<size_t>(particledata::nb_particle) +
                       static_cast<size_t>(k)]);
    return m;
}

std::vector<double> node3(const std::vector<double>& a, int n) {
    const size_t i = 3 * static_cast<size_t>(n - 1);
    return {a[i], a[i + 1], a[i + 2]};
}

using V3 = std::vector<double>;

// ------------------------------------------------------------- records

TEST_F(Deck, CurvePointDependsOnTheLineEnd) {
    loads("nbel 30\ncurv seqv\ncurv seqv 25\ncurv SM,3\ncurv engk\ncurv VOL 30 ! c\nendi\n", false);
    EXPECT_EQ(dataout::ncurves, 5);
    EXPECT_EQ(std::vector<int>(dataout::curveoption.begin(), dataout::curveoption.begin() + 5),
              (std::vector<int>{1, 1, 4, 6, 5}));
    EXPECT_EQ(std::vector<int>(dataout::curvepoint.begin(), dataout::curvepoint.begin() + 5),
              (std::vector<int>{1, 25, 3, 1, 30}));

    // the point on the next line is not the curve's: it is read as a keyword
    EXPECT_TRUE(load("nbel 30\ncurv seqv\n25\nendi\n", false));
    EXPECT_EQ(dataout::curvepoint[0], 1);
    EXPECT_EQ(out,
              " nb_element =           30\n"
              " *** Warning *** invalid keyword 25                  on line            3\n"
              " error GetData\n");
}

// The field-output interval and the energy switch; absent they leave the
// run without field files and energy balance.
TEST_F(Deck, FieldOutputAndEnergyBalanceKeywords) {
    loads("nbmp 2 fout 2.5e-6 ebal on endi\n", false);
    EXPECT_EQ(dataout::fieldstep, static_cast<double>(2.5e-6f));
    EXPECT_TRUE(dataout::energyon);
    loads("nbmp 2 fout 0 ebal off endi\n", false);
    EXPECT_EQ(dataout::fieldstep, 0.0);
    EXPECT_FALSE(dataout::energyon);
    loads("nbmp 2 endi\n", false);
    EXPECT_LT(dataout::fieldstep, 0.0);
    EXPECT_FALSE(dataout::energyon);
}

// The values of bulk and fixd end at the next keyword of their line: bulk
// followed at once by a keyword takes the usual coefficients.
TEST_F(Deck, BulkAndFixdValuesEndAtTheNextKeyword) {
    loads("nbmp 2 ncom 1 bulk fixd 1 0 1 0 bulk 0.1 2 endi\n", false);
    EXPECT_EQ(materialdata::bulk.q1, static_cast<double>(0.1f));
    EXPECT_EQ(materialdata::bulk.q2, 2.0);
    ASSERT_EQ(elementdata::fixities.size(), 1u);
    EXPECT_EQ(elementdata::fixities[0].axis[1], 1);
    loads("nbmp 2 bulk endi\n", false);
    EXPECT_EQ(materialdata::bulk.q1, static_cast<double>(0.06f));
    EXPECT_EQ(materialdata::bulk.q2, 1.5);
}

// A load's time function stands after its vector on the record's line; a
// record word or the block's end there is not one, and loads without
// functions leave every node on function 1 (no table of functions at all).
TEST_F(Deck, TimeFunctionsDrivenComponentsAndForces) {
    loads(
        "nbmp 3 ncom 2\npart\n1 1 0 0 0\n2 2 1 0 0\n3 1 2 0 0\ntime 2 0 1 1 1\n"
        "tfun 3 2 0 0 1 2\nload\ncomp 1 1 2 3 3\nnode 2\n4 5 6\nendl\nmove 2 y d 3 0.5\n"
        "reac 1 reac 0 7\nendi\n",
        false);
    EXPECT_EQ(particledata::fpfunc, (std::vector<int>{3, 1, 3}));
    EXPECT_EQ(node3(particledata::fp, 2), (V3{4, 5, 6}));
    ASSERT_EQ(timefunctiondata::functions.size(), 3u);
    EXPECT_EQ(timefunctiondata::functions[2][1].value, 2.0);
    ASSERT_EQ(motiondata::drives.size(), 1u);
    const drive& d = motiondata::drives[0];
    EXPECT_EQ(d.comp, 2);
    EXPECT_EQ(d.axis, 1);
    EXPECT_TRUE(d.disp);
    EXPECT_EQ(d.func, 3);
    EXPECT_EQ(d.scale, 0.5);
    EXPECT_EQ(motiondata::reactcomp, (std::vector<int>{1, 0}));
    EXPECT_EQ(motiondata::reactname, (std::vector<int>{1, 7}));
    loads("nbmp 2 ncom 1\nload node 1 1 1 1 node 2 2 2 2 1\ncomp 1 0 0 1 endl\nendi\n", false);
    EXPECT_TRUE(particledata::fpfunc.empty());
    EXPECT_TRUE(timefunctiondata::functions.empty());
    EXPECT_EQ(node3(particledata::fp, 2), (V3{2, 2, 2}));
}

// A rigid set and its velocities; the body's mass, centre and inertia are those of the lumped nodal masses (a unit
// cube of 8 corner masses M/8: J = M/2 about each axis, the parallel-axis
// products of the corners cancelling), the initial node velocities V + W x r.
TEST_F(Deck, RigidSetsTheirVelocitiesAndInertia) {
    loads(
        "nbmp 8 nbel 1 nmat 2 ncom 1\nmate\n1 elas 1000 1e9 0.25\n2 elas 1000 1e9 0.25\npart\n"
        "1 1 0 0 0\n2 1 1 0 0\n3 1 1 1 0\n4 1 0 1 0\n5 1 0 0 1\n6 1 1 0 1\n7 1 1 1 1\n"
        "8 1 0 1 1\nelem\n1 2 1 2 3 4 5 6 7 8\nrigd 2 1 2 3 0 0 10\nendi\n",
        true);
    ASSERT_EQ(rigiddata::bodies.size(), 1u);
    const rigidbody& b = rigiddata::bodies[0];
    EXPECT_EQ(b.set, 2);
    EXPECT_EQ(b.v0[1], 2.0);
    EXPECT_EQ(b.w0[2], 10.0);
    EXPECT_DOUBLE_EQ(b.mass, 1000.0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(b.origin[i], 0.5);
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(b.jbody[i][j], i == j ? 500.0 : 0.0, 1e-9);
    }
    // No element of the model is left to the element pass.
    EXPECT_TRUE(rigiddata::deformable.empty());
    EXPECT_EQ(rigiddata::nodebody, (std::vector<int>(8, 1)));
    // Node 2 at r = (0.5, -0.5, -0.5): v = (1, 2, 3) + (0, 0, 10) x r.
    EXPECT_DOUBLE_EQ(particledata::vel[3], 1.0 + 5.0);
    EXPECT_DOUBLE_EQ(particledata::vel[4], 2.0 + 5.0);
    EXPECT_DOUBLE_EQ(particledata::vel[5], 3.0);
}

TEST_F(Deck, SeveralRecordsShareALine) {
    loads(
        "nbmp 8 nbel 1 nmat 1\nENDTIME 1.0e-3 repo 100 outt 2.5e-4 dtsc 0.5 hour 2 0.05\njaum OFF "
        "rigi -3 0.25 "
        "endinput\n",
        false);
    EXPECT_EQ(particledata::nb_particle, 8);
    EXPECT_EQ(elementdata::nb_element, 1);
    EXPECT_EQ(materialdata::nb_mat, 1);
    EXPECT_EQ(simulation::endtime, static_cast<double>(1.0e-3f));
    EXPECT_EQ(dataout::reportsteps, 100.0);
    EXPECT_EQ(dataout::outtimestep, static_cast<double>(2.5e-4f));
    EXPECT_EQ(simulation::dtscale, 0.5);
    EXPECT_EQ(materialdata::hourglass.method, 2);
    EXPECT_EQ(materialdata::hourglass.coef, static_cast<double>(0.05f));
    EXPECT_FALSE(materialdata::jaum);
    EXPECT_EQ(elementdata::plane.dir, -3);
    EXPECT_EQ(elementdata::plane.coord, 0.25);
    EXPECT_EQ(out,
              " nb_particle =            8\n"
              " nb_element =            1\n"
              " nb_mat =            1\n"
              " EndTime =    1.0000000474974513E-03\n");
}

TEST_F(Deck, JaumannSwitch) {
    struct Case {
        const char* word;
        bool value;
    };
    for (const Case& c : {Case{"off", false}, Case{"OFF", false}, Case{"Off", false},
                          Case{"on", true}, Case{"ON", true}}) {
        loads(std::string("jaum off jaum ") + c.word + "\nendi\n");
        EXPECT_EQ(materialdata::jaum, c.value) << c.word;
    }
}

TEST_F(Deck, TitleIsTheCleanedLine) {
    loads("sovr Impact test, case 2\nendi\n");
    EXPECT_EQ(std::string(simulation::title.data(), 256), padded("sovr Impact test,case 2"));
}

TEST_F(Deck, OnlyEndiLeavesTheDefaults) {
    loads("endi\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(std::string(simulation::title.data(), 256), std::string(256, '\0'));
    EXPECT_EQ(particledata::nb_particle, 0);
    EXPECT_TRUE(particledata::pos.empty());
    EXPECT_TRUE(particledata::mp.empty());
    EXPECT_EQ(dataout::reportsteps, 0.0);
    EXPECT_EQ(dataout::outtimestep, 0.0);
    EXPECT_EQ(dataout::ncurves, 0);
    EXPECT_EQ(materialdata::hourglass.method, 1);
    EXPECT_EQ(materialdata::hourglass.coef, 0.10000000149011612);
    EXPECT_EQ(timefunctiondata::lentmfunction, 0);
    EXPECT_TRUE(timefunctiondata::tmfunction.empty());
    EXPECT_EQ(simulation::endtime, 0.0);
    EXPECT_EQ(materialdata::nb_mat, 0);
    EXPECT_TRUE(materialdata::mat_list.empty());
    EXPECT_TRUE(materialdata::jaum);
    EXPECT_EQ(elementdata::nb_comp, 0);
    EXPECT_TRUE(elementdata::complen.empty());
    EXPECT_EQ(elementdata::nb_element, 0);
    EXPECT_TRUE(elementdata::element_list.empty());
    EXPECT_EQ(elementdata::plane.dir, 0);
    EXPECT_EQ(elementdata::plane.coord, 0.0);
    EXPECT_EQ(simulation::dtscale, 0.89999997615814209);
}

// "corr on" turns on stab, midg, vmis and cons (not math); a single word of
// the deck wins wherever it stands.
TEST_F(Deck, CorrectedFormulationYieldsToTheSingleWords) {
    struct Case {
        const char* deck;
        bool stab, midg, vmis, cons, math;
    };
    const Case cases[] = {
        {"nbmp 2 endi\n", false, false, false, false, false},
        {"corr on nbmp 2 endi\n", true, true, true, true, false},
        {"corr off vmis on nbmp 2 endi\n", false, false, true, false, false},
        {"stab off cons off corr on nbmp 2 endi\n", false, true, true, false, false},
        {"corr on midg off vmis off nbmp 2 endi\n", true, false, false, true, false},
        {"math on nbmp 2 endi\n", false, false, false, false, true},
        {"corr on math on nbmp 2 endi\n", true, true, true, true, true},
        {"math on corr on nbmp 2 endi\n", true, true, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deck);
        loads(c.deck);
        EXPECT_EQ(simulation::stablestep, c.stab);
        EXPECT_EQ(elementdata::midstep, c.midg);
        EXPECT_EQ(materialdata::vonmises, c.vmis);
        EXPECT_EQ(materialdata::consistent, c.cons);
        EXPECT_EQ(materialdata::solvermath, c.math);
    }
}

TEST_F(Deck, FreshModelDefaults) {
    loads("dtsc 0.5 hour 0 0.3 jaum off midg on rigi 2 1.0 nbmp 2 endi\n");
    EXPECT_TRUE(elementdata::midstep);
    simulation::istep = 40;
    simulation::dtk1old = 1.0e-7;
    process::reset();
    EXPECT_EQ(simulation::istep, 1);
    EXPECT_EQ(simulation::currenttime, 0.0);
    EXPECT_EQ(simulation::dtscale, 0.89999997615814209);
    EXPECT_EQ(simulation::dtk1old, 1.0e6);
    EXPECT_EQ(materialdata::hourglass.method, 1);
    EXPECT_EQ(materialdata::hourglass.coef, 0.10000000149011612);
    EXPECT_TRUE(materialdata::jaum);
    EXPECT_FALSE(elementdata::midstep);
    EXPECT_EQ(elementdata::plane.dir, 0);
    EXPECT_EQ(particledata::nb_particle, 0);
    EXPECT_EQ(ffi::ior, 11);
    EXPECT_EQ(ffi::iores, 13);
    EXPECT_EQ(ffi::iow1, 14);
    EXPECT_EQ(ffi::iow2, 15);
}

TEST_F(Deck, SizedArraysStartAtZero) {
    loads("nbmp 4 nmat 2 ncom 3 nbel 2\nendi\n", false);
    for (const auto* a :
         {&particledata::pos, &particledata::acc, &particledata::vel, &particledata::fp}) {
        ASSERT_EQ(a->size(), 12u);
        for (double x : *a) EXPECT_EQ(x, 0.0);
    }
    ASSERT_EQ(particledata::mp.size(), 4u);
    for (double x : particledata::mp) EXPECT_EQ(x, 0.0);
    ASSERT_EQ(materialdata::mat_list.size(), 2u);
    for (const material& m : materialdata::mat_list) {
        EXPECT_EQ(m.etype, 0);
        for (double x :
             {m.density, m.young, m.poisson, m.wavespeed, m.yield0, m.tangmod, m.bjc, m.njc, m.cjc})
            EXPECT_EQ(x, 0.0);
    }
    EXPECT_EQ(elementdata::complen, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(elementdata::compmember.size(), 12u);
    ASSERT_EQ(elementdata::element_list.size(), 2u);
    EXPECT_EQ(elementdata::element_list[1].node[7], 0);
}

TEST_F(Deck, ElementsSizedButNeverGivenStop) {
    EXPECT_TRUE(load("nbmp 8 nbel 2\nendi\n"));
    EXPECT_EQ(out,
              " nb_particle =            8\n"
              " nb_element =            2\n"
              " *** Error *** element 1 was never given (elements 1..2 must all be given)\n");
    loads("nbmp 8 nbel 0\nendi\n");
}

// ------------------------------------------------------------- nodes

TEST_F(Deck, ComponentsLoadsAndVelocities) {
    loads(
        "nbmp 3 ncom 1\n"
        "part\n"
        "1 1 0 0 0\n"
        "2 0 1 0 0\n"
        "3 1 0 1 0\n"
        "load\n"
        "comp 1 0.0 0.0 -500.0\n"
        "node 3\n"
        "0.0 10.0 0.0\n"
        "endl\n"
        "velo\n"
        "node 2 1 2 3\n"
        "comp 1 0.0 0.0 -10.0\n"
        "endv\n"
        "endi\n");
    EXPECT_EQ(elementdata::complen[0], 2);
    EXPECT_EQ(members(1), (std::vector<int>{1, 3}));
    EXPECT_EQ(node3(particledata::pos, 2), (V3{1, 0, 0}));
    EXPECT_EQ(node3(particledata::pos, 3), (V3{0, 1, 0}));
    EXPECT_EQ(node3(particledata::fp, 1), (V3{0, 0, -500}));
    EXPECT_EQ(node3(particledata::fp, 2), (V3{0, 0, 0}));
    EXPECT_EQ(node3(particledata::fp, 3), (V3{0, 10, 0}));
    EXPECT_EQ(node3(particledata::vel, 1), (V3{0, 0, -10}));
    EXPECT_EQ(node3(particledata::vel, 2), (V3{1, 2, 3}));
    EXPECT_EQ(node3(particledata::vel, 3), (V3{0, 0, -10}));
}

TEST_F(Deck, EmptyBlocksAndComponentsChangeNothing) {
    loads(
        "nbmp 2 ncom 2\npart\n1 1 0 0 0\n2 0 1 1 1\nvelo\nendv\nload\ncomp 2 5 5 5\nendl\nendi\n");
    EXPECT_EQ(particledata::vel, std::vector<double>(6, 0.0));
    EXPECT_EQ(particledata::fp, std::vector<double>(6, 0.0));
}

TEST_F(Deck, RepeatedNodes) {
    // a repeated node overwrites its coordinates and joins its component again
    loads("nbmp 2 ncom 1\npart\n1 1 0 0 0\n1 1 5 6 7\n2 0 1 1 1\nendi\n");
    EXPECT_EQ(node3(particledata::pos, 1), (V3{5, 6, 7}));
    EXPECT_EQ(members(1), (std::vector<int>{1, 1}));

    // a third membership would not fit the member table of two nodes
    EXPECT_TRUE(load("nbmp 2 ncom 1\npart\n1 1 0 0 0\n1 1 5 6 7\n1 1 8 9 10\n2 0 1 1 1\nendi\n"));
    EXPECT_EQ(members(1), (std::vector<int>{1, 1}));
    EXPECT_NE(out.find(" input file error, line           5\n"
                       " *** Error *** component 1 would receive more than 2 members (nodes "
                       "repeated in \"part\")\n"),
              std::string::npos)
        << out;
}

TEST_F(Deck, NodeBlockEndsWithTheHighestNode) {
    EXPECT_TRUE(load("nbmp 3\npart\n3 0 0 0 0\n1 0 0 0 0\nendi\n"));
    EXPECT_NE(out.find(" *** Warning *** invalid keyword 1                   on line            4\n"
                       " error GetData\n"),
              std::string::npos)
        << out;
}

// ------------------------------------------------------------- materials

TEST_F(Deck, MaterialRecords) {
    loads("nmat 2\nmate\n1 elas 7800 2.1e11 0.3\n2 pla2 2700 7.0e10 0.33 2.5e8 1.0e9\nendi\n");
    const material& a = materialdata::mat_list[0];
    const material& b = materialdata::mat_list[1];
    EXPECT_EQ(a.mtype, 1);
    EXPECT_EQ(a.density, 7800.0);
    EXPECT_EQ(a.young, static_cast<double>(2.1e11f));
    EXPECT_EQ(a.poisson, static_cast<double>(0.3f));
    EXPECT_NEAR(a.wavespeed, 6020.2, 0.05);
    EXPECT_EQ(b.mtype, 3);
    EXPECT_EQ(b.poisson, static_cast<double>(0.33f));
    EXPECT_EQ(b.yield0, static_cast<double>(2.5e8f));
    EXPECT_EQ(b.tangmod, static_cast<double>(1.0e9f));
    EXPECT_EQ(b.etype, 0);
}

TEST_F(Deck, MaterialModelWordsAndUnreadFields) {
    loads(
        "nmat 1\nmate\n1 john-cook 7800 2.1e11 0.3 3.0e8 2.0e8 0.25 0.01\n"
        "mate\n1 ELASTIC 2700 7.0e10 0.33\nendi\n");
    const material& m = materialdata::mat_list[0];
    EXPECT_EQ(m.mtype, 1);
    EXPECT_EQ(m.density, 2700.0);
    // the Johnson-Cook constants of the first record stay
    EXPECT_EQ(m.yield0, static_cast<double>(3.0e8f));
    EXPECT_EQ(m.bjc, static_cast<double>(2.0e8f));
    EXPECT_EQ(m.njc, 0.25);
    EXPECT_EQ(m.cjc, static_cast<double>(0.01f));
}

TEST_F(Deck, MaterialBlockEndsWithTheHighestSet) {
    EXPECT_TRUE(load("nmat 2\nmate\n2 pla1 7800 2.1e11 0.3 3.0e8\n1 elas 7800 2.1e11 0.3\nendi\n"));
    EXPECT_EQ(materialdata::mat_list[1].mtype, 2);
    EXPECT_EQ(materialdata::mat_list[0].mtype, 0);
    EXPECT_NE(out.find(" *** Warning *** invalid keyword 1                   on line            4\n"
                       " error GetData\n"),
              std::string::npos)
        << out;
}

TEST_F(Deck, EquationOfStateCoefficients) {
    loads("nmat 1\nmate\n1 elas 8930 1.17e11 0.35\nseos 1 1 4570 1.49 1.93\nendi\n");
    using namespace materialdata;
    const double rho = 8930.0;
    const double c0sq = 4570.0 * 4570.0;
    const double s = static_cast<double>(1.49f);
    EXPECT_EQ(mat_list[0].etype, 1);
    const double c1eosg = mat_list[0].c1eos, c2eosg = mat_list[0].c2eos;
    const double c3eosg = mat_list[0].c3eos, c4eosg = mat_list[0].c4eos;
    EXPECT_EQ(c1eosg, 186502157000.0);
    EXPECT_NEAR(c2eosg / (c1eosg * 1.98), 1.0, 1e-6);
    EXPECT_NEAR(c3eosg / (c1eosg * 0.49 * 3.47), 1.0, 1e-6);
    EXPECT_NEAR(c4eosg / (8930.0 * 1.93), 1.0, 1e-6);
    // from the single-precision constants
    EXPECT_DOUBLE_EQ(c2eosg, rho * c0sq * (2.0 * s - 1.0));
    EXPECT_DOUBLE_EQ(c3eosg, rho * c0sq * (s - 1.0) * (3.0 * s - 1.0));
    EXPECT_DOUBLE_EQ(c4eosg, rho * static_cast<double>(1.93f));
}

TEST_F(Deck, EquationOfStateErrors) {
    // an unknown type stops on the line that holds it
    EXPECT_TRUE(load("nmat 1\nmate\n1 elas 8930 1.17e11 0.35\nseos 1 2 4570 1.49 1.93\nendi\n"));
    EXPECT_NE(out.find(" input file error, line           4\n Error set EOS parameter (seos)\n"),
              std::string::npos)
        << out;

    // the set number is checked on the line that holds it
    EXPECT_TRUE(load("nmat 1\nmate\n1 elas 8930 1.17e11 0.35\nseos 2\n1 4570 1.49 1.93\nendi\n"));
    EXPECT_NE(out.find(" input file error, line           4\n"
                       " *** Error *** material set number 2 is outside the valid range 1..1\n"),
              std::string::npos)
        << out;
}

// ------------------------------------------------------------- load function

struct TfCase {
    double t;
    double expected;  // NAN: the evaluation stops the run
};

void expect_timefunction(const std::vector<TfCase>& cases, const char* table) {
    for (const TfCase& c : cases) {
        if (std::isnan(c.expected)) {
            const std::string msg = captured([&] {
                EXPECT_THROW(currenttmfunction(c.t), errorstop::stop_exception)
                    << table << " t=" << c.t;
            });
            EXPECT_EQ(
                msg.rfind(
                    " ***Error*** Current time is out of time function ! \n    Current time = ", 0),
                0u)
                << msg;
        } else {
            EXPECT_EQ(currenttmfunction(c.t), c.expected) << table << " t=" << c.t;
        }
    }
}

TEST_F(Deck, LoadFunctionTables) {
    const double stop = NAN;
    loads("time 3 0 0 1 1 2 0\nendi\n");
    EXPECT_EQ(timefunctiondata::lentmfunction, 3);
    expect_timefunction({{-1.0, 0.0},
                         {0.0, 0.0},
                         {0.25, 0.25},
                         {0.5, 0.5},
                         {1.0, 1.0},
                         {1.5, 0.5},
                         {1.75, 0.25},
                         {2.0, stop},
                         {2.5, stop}},
                        "(0,0),(1,1),(2,0)");

    loads("time 4\n0 0\n1 0\n1 5\n2 5\nendi\n");
    expect_timefunction({{0.5, 0.0}, {0.999, 0.0}, {1.0, 5.0}, {1.5, 5.0}, {2.0, stop}},
                        "jump at 1");

    loads("time 2 0.1 1.0 1.0 1.0\nendi\n");
    expect_timefunction({{0.0, 0.0}, {0.5, 1.0}}, "starting at 0.1");

    loads("time 1 1.0 3.0\nendi\n");
    expect_timefunction({{0.0, 0.0}, {0.5, 0.0}, {1.0, stop}, {2.0, stop}}, "single point");

    loads("endi\n");
    expect_timefunction({{0.0, 0.0}, {1.0e9, 0.0}}, "no table");

    loads("time 0 endi\n");
    EXPECT_EQ(timefunctiondata::lentmfunction, 0);
    expect_timefunction({{0.0, 0.0}}, "time 0");
}

TEST_F(Deck, LoadFunctionStopMessage) {
    loads("time 3 0 0 1 1 2 0\nendi\n");
    const std::pair<double, const char*> cases[] = {{2.0, "2.000E+00"}, {12345.678, "1.235E+04"}};
    for (const auto& c : cases) {
        const std::string out =
            captured([&] { EXPECT_THROW(currenttmfunction(c.first), errorstop::stop_exception); });
        EXPECT_EQ(out, std::string(" ***Error*** Current time is out of time function ! \n"
                                   "    Current time =  ") +
                           c.second + "\n    End time of the time function =  2.000E+00\n")
            << c.first;
    }
}

}  // namespace
