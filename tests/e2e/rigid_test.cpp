// Rigid material sets ("rigd") against rigid-body mechanics:
// - a brick of unequal sides spinning about a skew axis keeps its kinetic
//   energy, momentum and angular momentum over ten turns while its angular
//   velocity wanders about the body, on one and on two processes alike;
// - a rigid block dropped onto an elastic one: the block's loss of momentum
//   is the impulse of the contact forces, and it rebounds as a very stiff
//   elastic block does.
// Every case prints its figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bodies.hpp"
#include "results.hpp"
#include "testutil.hpp"

using namespace testutil;

namespace {

// The largest departure of column c of `rows` from its value in row `from`,
// relative to `scale`.
double drift(const std::vector<std::vector<double>>& rows, std::size_t c, double scale,
             std::size_t from = 0) {
    double d = 0.0;
    for (std::size_t k = from; k < rows.size(); ++k)
        d = std::max(d, std::fabs(rows[k][c] - rows[from][c]) / scale);
    return d;
}

}  // namespace

// A 0.2 x 0.1 x 0.05 m steel brick of 4 x 2 x 2 elements, thrown at
// (1, -2, 0.5) m/s and spinning at (300, 200, 100) rad/s: no principal
// axis, so the angular velocity tumbles about the body (Euler's equations)
// while L stays put. rigid.dat columns: time, centre, V, w, L, kinetic.
TEST(VerificationRigid, SkewSpinKeepsEnergyAndMomentaOnOneAndTwoProcesses) {
    TempDir dir("rigid-spin");
    const double w[3] = {300.0, 200.0, 100.0};
    const double turns = 10.0;
    const double end = turns * 2.0 * M_PI / std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    std::vector<Body> brick = {{4, 2, 2, {0.03, -0.01, 0.02}, {0.2, 0.1, 0.05}, 1, {0, 0, 0}}};
    std::ostringstream control;
    control.precision(9);
    control << "endt " << end << "\noutt " << end / 20.0
            << "\nrepo 1000000\ntime 2 0.0 1.0 1.0 1.0\nebal on";
    const std::string whole = deck(brick, {"1 elas 7850.0 2.0e11 0.3"}, control.str(),
                                   "rigd 1 1.0 -2.0 0.5 300.0 200.0 100.0\n");
    std::map<int, std::vector<std::vector<double>>> bodies;
    for (const int np : {1, 2}) {
        const fs::path run = dir / ("np" + std::to_string(np));
        fs::create_directories(run);
        write_file(run / "whole", whole);
        RunResult r =
            run_command(exe("hexdyn-partition") + " whole " + std::to_string(np), run, 60);
        ASSERT_EQ(r.status, 0) << r.out;
        r = run_hexdyn(run, np, 600);
        ASSERT_EQ(r.status, 0) << r.out;
        const auto rows = table_rows(run / "rigid.dat");
        ASSERT_GE(rows.size(), 20u);
        const double ke = rows[0][13];
        const double l = std::sqrt(rows[0][10] * rows[0][10] + rows[0][11] * rows[0][11] +
                                   rows[0][12] * rows[0][12]);
        double energydrift = drift(rows, 13, ke), momentum = 0.0, angular = 0.0, wander = 0.0;
        for (std::size_t c = 4; c <= 6; ++c) momentum = std::max(momentum, drift(rows, c, 2.0));
        for (std::size_t c = 10; c <= 12; ++c) angular = std::max(angular, drift(rows, c, l));
        for (const auto& row : rows) wander = std::max(wander, std::fabs(row[7] - w[0]) / w[0]);
        // The nodes' kinetic energy in the balance (m v(n-1/2).v(n+1/2) / 2,
        // a constant O((h w)^2) below the body's from the first step on) and
        // the balance closing.
        const auto e = energy_rows(run / "energy.dat");
        const int kin = energy_column(run / "energy.dat", "kinetic");
        const int err = energy_column(run / "energy.dat", "energy_error");
        ASSERT_GE(kin, 0);
        const double nodal = drift(e, static_cast<std::size_t>(kin), ke, 1);
        double worst = 0.0;
        for (const auto& row : e)
            worst = std::max(worst, std::fabs(row[static_cast<std::size_t>(err)]));
        std::printf(
            "np %d: %zu records over %.1f turns; drift of kinetic %.2e, momentum %.2e, "
            "angular momentum %.2e, nodal kinetic %.2e (below the body's by %.2e); "
            "largest energy_error %.2e; w_x wanders by %.0f%%\n",
            np, rows.size(), turns, energydrift, momentum, angular, nodal,
            (ke - e[1][static_cast<std::size_t>(kin)]) / ke, worst, 100.0 * wander);
        EXPECT_LT(energydrift, 1e-9);
        EXPECT_LT(momentum, 1e-9);
        EXPECT_LT(angular, 1e-9);
        EXPECT_LT(nodal, 1e-9);
        EXPECT_LT(worst, 1e-12);
        EXPECT_GT(wander, 0.2);
        // The centre moves at V (each record holds c(t(n+1)), the step the
        // same throughout).
        const auto& last = rows.back();
        for (std::size_t i = 1; i <= 3; ++i)
            EXPECT_NEAR(last[i] - rows[0][i], rows[0][i + 3] * (last[0] - rows[0][0]), 1e-9);
        bodies[np] = rows;
    }
    ASSERT_EQ(bodies[1].size(), bodies[2].size());
    for (std::size_t k = 0; k < bodies[1].size(); ++k)
        for (std::size_t c = 0; c < bodies[1][k].size(); ++c)
            EXPECT_NEAR(bodies[1][k][c], bodies[2][k][c],
                        1e-9 * (std::fabs(bodies[1][k][c]) + 1.0));
}

// A rigid steel block 0.1 m long strikes, at 10 m/s, the end of a free
// steel bar of the same length and section (Poisson's ratio 0): until the
// wave comes back from the bar's far end (2L/c) the bar's end takes the
// force rho c A v of the block's velocity v, so the block slows as
// v0 exp(-rho c A t / M). The block's loss of momentum is the impulse of the
// contact forces (curve cnor, every step), and so is the force on the block
// from the bar that forces.dat gets ("forc 1 2"), the same on 2 processes.
// A very stiff elastic block in its
// place (E 1e6 times steel's) ends at the same velocity. The block's
// material makes the contact springs on its faces: the rigid one is given
// 1e4 times steel's modulus so that both meet the bar through springs as
// stiff as a rigid face would ask.
TEST(VerificationRigid, BlockStrikingABarGivesItsMomentumThroughTheContact) {
    TempDir dir("rigid-bar");
    const double rho = 7850.0, e = 2.0e11, a = 1.0e-4, l = 0.1, v0 = 10.0;
    const double mass = rho * a * l, c = std::sqrt(e / rho), tau = mass / (rho * c * a);
    const std::string control =
        "endt 3.5e-5\noutt 0\nrepo 1000000\ntime 2 0.0 1.0 1.0 1.0\nhour 2 0.1\nstab on\n"
        "ebal on\njaum off\ncont\nforc 1 2\nendc";
    std::map<std::string, std::vector<std::vector<double>>> curves, forces;
    for (const std::string kind : {"rigid", "stiff", "rigid on 2"}) {
        std::vector<Body> bodies = {{1, 1, 10, {0, 0, l}, {0.01, 0.01, l}, 1, {0, 0, -v0}},
                                    {1, 1, 100, {0, 0, 0}, {0.01, 0.01, l}, 2, {0, 0, 0}}};
        const bool rigid = kind != "stiff";
        const int np = kind == "rigid on 2" ? 2 : 1;
        const std::string block = rigid ? "1 elas 7850.0 2.0e15 0.0" : "1 elas 7850.0 2.0e17 0.0";
        // Node 21 sits half-way up the block.
        const std::string extra =
            std::string("curv vz 21\ncurv cnor\n") + (rigid ? "rigd 1 0 0 -10 0 0 0\n" : "");
        const fs::path run = dir / kind;
        fs::create_directories(run);
        const std::string text = deck(bodies, {block, "2 elas 7850.0 2.0e11 0.0"}, control, extra);
        if (np == 1) {
            write_single_run(run, text);
        } else {
            write_file(run / "whole", text);
            const RunResult p = run_command(exe("hexdyn-partition") + " whole 2", run, 60);
            ASSERT_EQ(p.status, 0) << p.out;
        }
        const RunResult r = run_hexdyn(run, np, 600);
        ASSERT_EQ(r.status, 0) << r.out;
        forces[kind] = table_rows(run / "forces.dat");
        if (np > 1) continue;
        curves[kind] = curve_rows(run / "aresult_curv.dat");
        ASSERT_GT(curves[kind].size(), 100u);
    }
    const auto& rows = curves["rigid"];
    const auto& onblock = forces["rigid"];
    ASSERT_GT(onblock.size(), 100u);
    double impulse = 0.0, worst = 0.0, setimpulse = 0.0;
    for (std::size_t k = 0; k + 1 < onblock.size(); ++k)
        setimpulse += (onblock[k + 1][0] - onblock[k][0]) * onblock[k][3];
    for (std::size_t k = 0; k + 1 < rows.size(); ++k) {
        impulse += (rows[k + 1][0] - rows[k][0]) * rows[k][2];
        worst = std::max(worst, std::fabs(rows[k][1] + v0 * std::exp(-rows[k][0] / tau)));
    }
    const double lost = mass * (rows.back()[1] + v0);
    const double rigidend = rows.back()[1], stiffend = curves["stiff"].back()[1];
    std::printf(
        "momentum lost %.6e, contact impulse %.6e (%.2e apart), impulse on the block from the "
        "bar %.6e; velocity off the "
        "closed form by at most %.3f m/s; end velocity rigid %.4f, stiff elastic %.4f, "
        "closed form %.4f m/s\n",
        lost, impulse, std::fabs(impulse - lost) / lost, setimpulse, worst, rigidend, stiffend,
        -v0 * std::exp(-rows.back()[0] / tau));
    EXPECT_NEAR(impulse, lost, 2e-3 * lost);
    EXPECT_NEAR(setimpulse, lost, 2e-3 * lost);
    // On 2 processes the pairs are summed per process first: the same force
    // to rounding.
    const auto& ontwo = forces["rigid on 2"];
    ASSERT_EQ(ontwo.size(), onblock.size());
    double apart = 0.0, largest = 0.0;
    for (std::size_t k = 0; k < onblock.size(); ++k) {
        largest = std::max(largest, std::fabs(onblock[k][3]));
        apart = std::max(apart, std::fabs(ontwo[k][3] - onblock[k][3]));
    }
    EXPECT_LT(apart, 1e-8 * largest);
    EXPECT_LT(worst, 0.015 * v0);
    EXPECT_NEAR(rigidend, stiffend, 0.03 * std::fabs(stiffend));
}

// A spinning brick on two processes, checkpointed midway, the run ended and
// then continued from the checkpoint: the bodies' motion comes back whole
// (the same bytes in every result file, rigid.dat cut back and continued).
TEST(Rigid, RunContinuedFromACheckpointOnTwoProcessesGivesTheSameFiles) {
    TempDir dir("rigid-restart");
    std::vector<Body> brick = {{4, 2, 2, {0.03, -0.01, 0.02}, {0.2, 0.1, 0.05}, 1, {0, 0, 0}}};
    const std::string control =
        "endt 0.012\noutt 0.001\nrepo 1000000\ntime 2 0.0 1.0 1.0 1.0\nebal on\nchkp 1500";
    write_file(dir / "whole", deck(brick, {"1 elas 7850.0 2.0e11 0.3"}, control,
                                   "rigd 1 1.0 -2.0 0.5 300.0 200.0 100.0\n"));
    RunResult r = run_command(exe("hexdyn-partition") + " whole 2", dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    r = run_hexdyn(dir.path(), 2, 300);
    ASSERT_EQ(r.status, 0) << r.out;
    const char* files[] = {"aresult_curv.dat", "aresult_anim.dat", "bresult_anim.dat", "energy.dat",
                           "rigid.dat"};
    std::map<std::string, std::string> whole;
    for (const char* f : files) whole[f] = read_file(dir / f);
    fs::remove(dir / "achkp.2");
    fs::remove(dir / "bchkp.2");
    r = run_command(mpiexec() + " -n 2 " + exe("hexdyn") + " --restart", dir.path(), 300);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("restarting at step 1501"), std::string::npos) << r.out;
    for (const char* f : files) EXPECT_TRUE(read_file(dir / f) == whole[f]) << f << " differs";
}

// A tilted rigid block thrown down and sideways onto a rigid plane strikes
// it with a corner and is set spinning. The walls hold nodes kinematically,
// so two rigid bodies meet without any elasticity: the struck nodes stop
// along the normal and the body turns about them. The wall's impulse
// (walls.dat, force times the interval between records) is the body's loss
// of momentum (rigid.dat), and the balance closes with the energy the wall
// took out.
TEST(VerificationRigid, TiltedBlockOnAWallLosesTheWallsImpulse) {
    TempDir dir("rigid-wall");
    std::vector<Body> block = {{2, 2, 2, {-0.02, -0.01, 0.02}, {0.04, 0.02, 0.02}, 1, {0, 0, 0}}};
    block[0].tilt = 0.3;
    const std::string control =
        "endt 1.5e-3\noutt 2e-5\nrepo 1000000\ntime 2 0.0 1.0 1.0 1.0\nebal on\n"
        "wall\nplan 0 0 0 0 0 1\nendw";
    write_single_run(dir.path(),
                     deck(block, {"1 elas 7850.0 2.0e11 0.3"}, control, "rigd 1 2 0 -10 0 0 0\n"));
    const RunResult r = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto wall = table_rows(dir / "walls.dat");
    const auto body = table_rows(dir / "rigid.dat");
    const double mass = 7850.0 * 0.04 * 0.02 * 0.02;
    double impulse[3] = {0.0, 0.0, 0.0};
    for (std::size_t k = 1; k < wall.size(); ++k)
        for (std::size_t i = 0; i < 3; ++i)
            impulse[i] += wall[k][1 + i] * (wall[k][0] - wall[k - 1][0]);
    double off = 0.0;
    for (std::size_t i = 0; i < 3; ++i)
        off = std::max(off, std::fabs(mass * (body.back()[4 + i] - body[0][4 + i]) + impulse[i]));
    const auto e = energy_rows(dir / "energy.dat");
    const int err = energy_column(dir / "energy.dat", "energy_error");
    const int taken = energy_column(dir / "energy.dat", "wall_work");
    ASSERT_GE(taken, 0);
    double worst = 0.0;
    for (const auto& row : e)
        worst = std::max(worst, std::fabs(row[static_cast<std::size_t>(err)]));
    const double spin =
        std::sqrt(body.back()[7] * body.back()[7] + body.back()[8] * body.back()[8] +
                  body.back()[9] * body.back()[9]);
    std::printf(
        "impulse of the wall %.6e, the body's upward momentum gained %.6e (off by %.2e); end "
        "velocity (%.4f, "
        "%.4f, %.4f) m/s, spin %.1f rad/s; wall took %.4f J of %.4f; largest "
        "energy_error %.2e\n",
        -impulse[2], mass * (body.back()[6] - body[0][6]), off, body.back()[4], body.back()[5],
        body.back()[6], spin, e.back()[static_cast<std::size_t>(taken)], body[0][13], worst);
    // walls.dat gives the force on the wall: downward.
    EXPECT_LT(impulse[2], -0.1 * mass * 10.0);
    EXPECT_LT(off, 1e-6 * mass * 10.0);
    EXPECT_LT(worst, 1e-9);
    EXPECT_GT(e.back()[static_cast<std::size_t>(taken)], 0.0);
    EXPECT_GT(spin, 10.0);
    // No node ends behind the plane: the body rests on it or has left it.
    EXPECT_GT(body.back()[3], 0.0);
}
