// Driven bodies against theory, and the faults of their records.
// - A cube of linear-hardening steel on its symmetry planes, driven at a
//   constant rate: in uniaxial tension its stress follows
//   sigma = Y + Et (eps - Y/E); in pure shear (plane strain, the log strains
//   equal and opposite) the equivalent stress follows
//   Y + 3G H / (3G + H) (eps_eq - Y / 3G), H = E Et / (E - Et), and the mean
//   stress stays 0. Both within 0.5 %, on one element and on eight. The
//   effective plastic strain is what the deformation gives, the equivalent
//   strain less its elastic part, within 0.5 % (the node records lead the
//   element's by a step, some 1e-5 of strain), for pla2 and for pla1, whose
//   plastic strain "cons on" keeps.
// - An elastic block whose top carries a slowly ramped load (function 2)
//   while its base is held: the base's constraint force balances the load.
// - A run continued from a checkpoint taken midway gives the files of the
//   uninterrupted run, forces.dat and the motion column of energy.dat with
//   them.
// - Each fault of the new records stops the input naming it.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"

using namespace testutil;

namespace {

constexpr double side = 1.0e-3;  // m
constexpr double young = 2.0e11, poisson = 0.3, yield = 4.0e8, tangent = 2.0e9;

// A cube of side `side` in n x n x n elements. Components: 1 the face x = 0,
// 2 y = 0, 3 z = 0, 4 z = side, 5 x = side, 6 y = side; `records` (fixd,
// move, reac, tfun, load ...) drive it; `control` lines join the control
// records. Curves: seqv and sm of element 1, dx, dy, dz of the corner
// (side, side, side), epef of element 1.
// `grad` gives the nodes the initial velocity grad_i x_i along axis i: the
// homogeneous motion the driven faces start, without the wave a start from
// rest sends through the free nodes.
std::string cubedeck(int n, double endtime, const std::string& material, const std::string& records,
                     std::array<double, 3> grad = {}, const std::string& control = "") {
    const int m = n + 1, nn = m * m * m;
    auto id = [m](int i, int j, int k) { return 1 + i + m * j + m * m * k; };
    std::vector<std::pair<int, int>> part;  // node, component
    for (int k = 0; k <= n; ++k)
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const int comps[6] = {i == 0, j == 0, k == 0, k == n, i == n, j == n};
                bool any = false;
                for (int c = 0; c < 6; ++c)
                    if (comps[c]) {
                        part.emplace_back(id(i, j, k), c + 1);
                        any = true;
                    }
                if (!any) part.emplace_back(id(i, j, k), 0);
            }
    std::ostringstream o;
    o.precision(9);
    o << "sovr driven cube\nnbmp " << nn << "\nnbel " << n * n * n << "\nnmat 1\nncom 6\nendt "
      << endtime << "\noutt " << endtime / 40 << "\nrepo 1000000\nvmis on\nebal on\n"
      << control << "mate\n1 " << material << "\npart\n";
    const double h = side / n;
    auto put = [&](int node, int c) {
        const int i = (node - 1) % m, j = (node - 1) / m % m, k = (node - 1) / (m * m);
        o << node << ' ' << c << ' ' << i * h << ' ' << j * h << ' ' << k * h << '\n';
    };
    // The block ends with the last node: its further components follow in
    // blocks of their own.
    std::vector<int> lastcomps;
    for (const auto& [node, c] : part) {
        if (node == nn)
            lastcomps.push_back(c);
        else
            put(node, c);
    }
    put(nn, lastcomps[0]);
    for (size_t k = 1; k < lastcomps.size(); ++k) {
        o << "part\n";
        put(nn, lastcomps[k]);
    }
    o << "elem\n";
    int e = 0;
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                o << ++e << " 1 " << id(i, j, k) << ' ' << id(i + 1, j, k) << ' '
                  << id(i + 1, j + 1, k) << ' ' << id(i, j + 1, k) << ' ' << id(i, j, k + 1) << ' '
                  << id(i + 1, j, k + 1) << ' ' << id(i + 1, j + 1, k + 1) << ' '
                  << id(i, j + 1, k + 1) << '\n';
    if (grad[0] != 0.0 || grad[1] != 0.0 || grad[2] != 0.0) {
        o << "velo\n";
        for (int node = 1; node <= nn; ++node) {
            const int i = (node - 1) % m, j = (node - 1) / m % m, k = (node - 1) / (m * m);
            o << "node " << node << ' ' << grad[0] * i * h << ' ' << grad[1] * j * h << ' '
              << grad[2] * k * h << '\n';
        }
        o << "endv\n";
    }
    o << records << "curv seqv 1\ncurv sm 1\ncurv dx " << nn << "\ncurv dy " << nn << "\ncurv dz "
      << nn << "\ncurv epef 1\nendi\n";
    return o.str();
}

std::string plastic() {
    std::ostringstream o;
    o << "pla2 7800 " << young << ' ' << poisson << ' ' << yield << ' ' << tangent;
    return o.str();
}

// A displacement table u(t) = side (exp(rate t) - 1) in 200 pieces up to
// twice `endtime`: the log strain of the driven face grows at `rate`.
std::string expfunction(int f, double rate, double endtime, double sign) {
    std::ostringstream o;
    o.precision(9);
    o << "tfun " << f << " 201\n";
    for (int k = 0; k <= 200; ++k) {
        const double t = 2.0 * endtime * k / 200;
        o << t << ' ' << side * (std::exp(sign * rate * t) - 1.0) << '\n';
    }
    return o.str();
}

struct DrivenCube {
    const char* name;
    int n;
    bool shear;
    bool displacement;     // tension driven by a displacement table instead of a velocity
    bool perfect = false;  // pla1 (no hardening), its plastic strain kept with "cons on"
};

class VerificationDrivenCube : public ::testing::TestWithParam<DrivenCube> {};

TEST_P(VerificationDrivenCube, StressFollowsTheHardeningLine) {
    const DrivenCube c = GetParam();
    const double rate = 100.0, endtime = 2.0e-4;  // log strain 0.02 at the end
    std::string records = "fixd 1 1 0 0\nfixd 2 0 1 0\nfixd 3 0 0 1\n";
    if (!c.shear && !c.displacement)
        records += "tfun 2 2 0 1 1 1\nmove 4 z v 2 " + std::to_string(rate * side) + "\n";
    if (!c.shear && c.displacement)
        records += expfunction(2, rate, endtime, 1.0) + "move 4 z d 2 1\n";
    if (c.shear)
        records += "fixd 4 0 0 1\n" + expfunction(2, rate / 2, endtime, 1.0) +
                   expfunction(3, rate / 2, endtime, -1.0) + "move 5 x d 2 1\nmove 6 y d 3 1\n";
    TempDir dir(std::string("verify-driven-") + c.name);
    const std::array<double, 3> grad =
        c.shear ? std::array<double, 3>{rate / 2, -rate / 2, 0.0} : std::array<double, 3>{};
    const std::string material =
        c.perfect ? "pla1 7800 " + std::to_string(young) + " 0.3 " + std::to_string(yield)
                  : plastic();
    const double et = c.perfect ? 0.0 : tangent;
    write_single_run(dir.path(),
                     cubedeck(c.n, endtime, material, records, grad, c.perfect ? "cons on\n" : ""));
    const RunResult r = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto rows = curve_rows(dir / "aresult_curv.dat");
    ASSERT_GT(rows.size(), 30u);
    const double g = young / (2 * (1 + poisson));
    const double h = young * et / (young - et);
    double worst = 0.0, worsttriax = 0.0, worstep = 0.0;
    for (const auto& row : rows) {
        const double seqv = row[1], sm = row[2];
        const double ex = std::log1p(row[3] / side), ey = std::log1p(row[4] / side),
                     ez = std::log1p(row[5] / side);
        double theory = 0.0, ep = 0.0;
        if (c.shear) {
            const double eq = (std::fabs(ex) + std::fabs(ey)) / std::sqrt(3.0);
            ep = eq - seqv / (3 * g);
            theory = eq < yield / (3 * g)
                         ? 3 * g * eq
                         : yield + 3 * g * h / (3 * g + h) * (eq - yield / (3 * g));
            // Once loaded: the first records hold a few kPa of ringing.
            if (seqv > 0.5 * yield) worsttriax = std::max(worsttriax, std::fabs(sm / seqv));
        } else {
            theory = ez < yield / young ? young * ez : yield + et * (ez - yield / young);
            ep = ez - seqv / young;
        }
        // The plastic strain the deformation gives: the equivalent strain
        // less its elastic part.
        if (ep > 0.004) worstep = std::max(worstep, std::fabs(row[6] / ep - 1.0));
        // Plastic range, past the corner of the curve.
        if (seqv > 1.02 * yield) worst = std::max(worst, std::fabs(seqv - theory) / theory);
    }
    const auto energy = table_rows(dir / "energy.dat");
    const double error = energy.back().back();
    std::printf(
        "[ figures ] %s: stress off the hardening line by at most %.3e; "
        "|triaxiality| <= %.3e; energy error %.3e (motion work %.4e J); epef %.5f off the "
        "deformation's by at most %.3e\n",
        c.name, worst, worsttriax, error, energy.back()[6], rows.back()[6], worstep);
    EXPECT_LT(worst, 0.005);
    EXPECT_GT(rows.back()[6], 0.009);
    EXPECT_LT(worstep, 0.005);
    if (c.shear) { EXPECT_LT(worsttriax, 1.0e-3); }
    EXPECT_LT(std::fabs(error), 1.0e-3);
}

INSTANTIATE_TEST_SUITE_P(VerificationMotion, VerificationDrivenCube,
                         ::testing::Values(DrivenCube{"tension1", 1, false, false},
                                           DrivenCube{"tension8", 2, false, true},
                                           DrivenCube{"shear1", 1, true, false},
                                           DrivenCube{"shear8", 2, true, false},
                                           DrivenCube{"pla1tension1", 1, false, false, true},
                                           DrivenCube{"pla1shear8", 2, true, false, true}),
                         [](const ::testing::TestParamInfo<DrivenCube>& p) {
                             return std::string(p.param.name);
                         });

// A steel block (2 x 2 x 2 elements) whose top carries a load ramped over
// 250 wave transits (function 2 of the load records), its base held: the
// constraint force of the base balances the load, the top's own constraint
// force stays 0 (it is free).
TEST(VerificationReaction, HeldBaseCarriesTheLoadOfTheTop) {
    const double endtime = 5.0e-5, perface = 9;  // nodes of the top face
    const double f = -50.0;                      // N per node at the end
    std::ostringstream rec;
    rec << "fixd 1 1 0 0\nfixd 2 0 1 0\nfixd 3 0 0 1\ntfun 2 2 0 0 " << 2 * endtime
        << " 2\nload\ncomp 4 0 0 " << f << " 2\nendl\nreac 3\nreac 4\n";
    TempDir dir("verify-reaction");
    write_single_run(dir.path(), cubedeck(2, endtime, "elas 7800 2e11 0.3", rec.str()));
    const RunResult r = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto rows = table_rows(dir / "forces.dat");
    ASSERT_GT(rows.size(), 10u);
    double worst = 0.0;
    for (const auto& row : rows) {
        const double applied = perface * f * row[0] / endtime;
        if (row[0] < 0.5 * endtime) continue;
        worst = std::max(worst, std::fabs(row[3] + applied) / std::fabs(applied));
        EXPECT_EQ(row[6], 0.0);
    }
    std::printf(
        "[ figures ] base force against the applied load: off by at most %.3e "
        "(last: %.6e N against %.6e N)\n",
        worst, rows.back()[3], -perface * f * rows.back()[0] / endtime);
    EXPECT_LT(worst, 0.01);
}

// Checkpoint at step 1300 of about 2600, the run ended, then continued from
// the checkpoint: the same bytes.
TEST(VerificationRestart, DrivenRunContinuedFromMidwayGivesTheSameFiles) {
    TempDir dir("verify-driven-restart");
    const std::string records =
        "fixd 1 1 0 0\nfixd 2 0 1 0\nfixd 3 0 0 1\ntfun 2 2 0 1 1 1\nmove 4 z v 2 0.1\n"
        "reac 3\nreac 4\nchkp 1300\n";
    write_single_run(dir.path(), cubedeck(2, 2.0e-4, plastic(), records));
    RunResult r = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(r.status, 0) << r.out;
    const char* files[] = {"aresult_curv.dat", "aresult_anim.dat", "asovra.rst", "energy.dat",
                           "forces.dat"};
    std::map<std::string, std::string> whole;
    for (const char* f : files) whole[f] = read_file(dir / f);
    fs::remove(dir / "achkp.2");
    r = run_command(mpiexec() + " -n 1 " + exe("hexdyn") + " --restart", dir.path(), 300);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("restarting at step 1301"), std::string::npos) << r.out;
    for (const char* f : files) EXPECT_TRUE(read_file(dir / f) == whole[f]) << f << " differs";
}

// hexdyn-mesh --prescribe and --reaction, run whole and on two processes
// (hexdyn-partition): the driven face reaches S at the end time, the two
// processes sum the same forces (to rounding) and the force on the driven
// face balances that on the held one along the drive.
TEST(Motion, MeshToolDrivesAFaceOnOneAndTwoProcesses) {
    TempDir dir("motion-mesh");
    const std::string mesh =
        exe("hexdyn-mesh") +
        " box --nx 2 --ny 2 --nz 2 --lx 0.001 --ly 0.001 --lz 0.001 --endtime 2e-5 --outtime 2e-6 "
        "--material \"pla2 7800 2e11 0.3 4e8 2e9\" --fix zmin,z --fix xmin,x --fix ymin,y "
        "--prescribe zmax=z,d,2e-6 --reaction zmin --reaction zmax --fields off --curve dz,27 "
        "-o whole";
    RunResult r = run_command(mesh, dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string deck = read_file(dir / "whole");
    EXPECT_NE(deck.find("\nmove "), std::string::npos) << deck;
    std::map<int, std::vector<std::vector<double>>> forces;
    for (const int np : {1, 2}) {
        const fs::path run = dir / ("np" + std::to_string(np));
        fs::create_directories(run);
        fs::copy_file(dir / "whole", run / "whole");
        r = run_command(exe("hexdyn-partition") + " whole " + std::to_string(np), run, 60);
        ASSERT_EQ(r.status, 0) << r.out;
        r = run_hexdyn(run, np, 300);
        ASSERT_EQ(r.status, 0) << r.out;
        forces[np] = table_rows(run / "forces.dat");
        if (np == 1) {
            const auto rows = curve_rows(run / "aresult_curv.dat");
            // Recorded at t(n) with the positions of t(n+1) = t(n) + dt:
            // S (t(n) + dt) / end time.
            EXPECT_NEAR(rows.back()[1], 2e-6 * rows.back()[0] / 2e-5, 2e-6 * 0.01);
        }
    }
    ASSERT_EQ(forces[1].size(), forces[2].size());
    const auto& last = forces[1].back();
    for (size_t k = 0; k < forces[1].size(); ++k)
        for (size_t c = 0; c < forces[1][k].size(); ++c)
            EXPECT_NEAR(forces[1][k][c], forces[2][k][c], 1e-9 * std::fabs(last[3]) + 1e-12);
    EXPECT_GT(last[6], 0.0);
    // The drive starts from rest: the ringing of that start, a percent.
    EXPECT_NEAR(last[3], -last[6], 0.03 * last[6]);
}

// Each fault of the records: the line, the message, a non-zero exit.
TEST(Motion, FaultsOfTheRecordsStopTheInput) {
    struct Case {
        const char* records;
        const char* message;
    };
    const Case cases[] = {
        {"fixd 3 0 0 1\ntfun 2 2 0 1 1 1\nmove 3 z v 2 1\n",
         "move: node 1 (component 3) along z is held by \"fixd\" as well"},
        {"tfun 2 2 0 1 1 1\nmove 4 z v 2 1\nmove 4 z d 2 1\n",
         "move: node 5 (component 4) along z is driven by two \"move\" records"},
        {"load\ncomp 4 0 0 1 3\nendl\n", "time function 3 is not given (no \"tfun 3\" record)"},
        {"move 4 z v 1 1\n", "time function 1 is not given (no \"time\" table)"},
        {"tfun 2 2 0 1 1 1\nmove 9 z v 2 1\n",
         "component number 9 is outside the valid range 1..6"},
        {"tfun 2 2 0 1 1 1\nmove 4 w v 2 1\n", "move: the axis must be x, y or z"},
        {"tfun 2 2 0 1 1 1\nmove 4 z a 2 1\n", "move: the motion must be v (velocity) or d"},
        {"move 4 z v 100 1\n", "time function number 100 is outside the valid range 1..99"},
        {"tfun 1 2 0 1 1 1\n", "time function number 1 is outside the valid range 2..99"},
        {"tfun 2 2 0 1 1 1\ntfun 2 2 0 1 1 1\n", "tfun 2 given a second time"},
        {"tfun 2 3 0 1 1 1 0.5 1\n", "tfun 2: point 3 at time"},
        {"tfun 2 1 0 1\n", "tfun 2 needs at least 2 points, found 1"},
        {"reac 3\nreac 3\n", "reac: the force of component 3 is asked for twice"},
        {"reac 7\n", "component number 7 is outside the valid range 1..6"},
        {"move 4 z v 2\n", "move takes 5 values (C A K F S) on its line, found 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.records);
        TempDir dir("motion-fault");
        write_single_run(dir.path(), cubedeck(1, 1.0e-6, "elas 7800 2e11 0.3",
                                              std::string("time 2 0 1 1 1\n") + c.records));
        if (std::string(c.message).find("\"time\" table") != std::string::npos) {
            std::string deck = read_file(dir / "a");
            deck.erase(deck.find("time 2 0 1 1 1\n"), 15);
            write_file(dir / "a", deck);
        }
        const RunResult r = run_hexdyn(dir.path(), 1, 60);
        EXPECT_NE(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("input file error, line"), std::string::npos) << r.out;
    }
}

}  // namespace
