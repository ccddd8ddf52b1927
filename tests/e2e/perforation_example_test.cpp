// The tools of examples/perforation: the quarter O-grid mesh (ogrid.sh) of
// the projectile holds its mass and its symmetry planes, and the residual
// velocity (residual.sh) of a run divided over 2 processes is the
// projectile's momentum over its mass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

const std::string kExample = std::string(HEXDYN_SOURCE_DIR) + "/examples/perforation/";

// Volume of a deck's elements (six tetrahedra about the diagonal 1-7).
double deck_volume(const std::string& deck) {
    std::istringstream in(deck);
    std::map<int, Point3> node;
    std::vector<std::array<int, 8>> elems;
    std::string line, section;
    while (std::getline(in, line)) {
        std::istringstream w(line);
        std::string first;
        if (!(w >> first)) continue;
        if (first == "part" || first == "elem") {
            section = first;
            continue;
        }
        if (first.find_first_not_of("0123456789") != std::string::npos) {
            section.clear();
            continue;
        }
        if (section == "part") {
            int c;
            Point3 p;
            w >> c >> p[0] >> p[1] >> p[2];
            node[std::stoi(first)] = p;
        } else if (section == "elem") {
            int m;
            std::array<int, 8> e{};
            w >> m;
            for (int& n : e) w >> n;
            elems.push_back(e);
        }
    }
    auto tet = [&](int a, int b, int c, int d) {
        const Point3 &A = node[a], &B = node[b], &C = node[c], &D = node[d];
        const double u[3] = {B[0] - A[0], B[1] - A[1], B[2] - A[2]};
        const double v[3] = {C[0] - A[0], C[1] - A[1], C[2] - A[2]};
        const double x[3] = {D[0] - A[0], D[1] - A[1], D[2] - A[2]};
        return (u[0] * (v[1] * x[2] - v[2] * x[1]) - u[1] * (v[0] * x[2] - v[2] * x[0]) +
                u[2] * (v[0] * x[1] - v[1] * x[0])) /
               6.0;
    };
    double total = 0.0;
    const int ring[6][2] = {{1, 2}, {2, 3}, {3, 7}, {7, 4}, {4, 5}, {5, 1}};
    for (const auto& e : elems) {
        double v = 0.0;
        for (const auto& r : ring) v += tet(e[0], e[r[0]], e[r[1]], e[6]);
        total += std::fabs(v);
    }
    return total;
}

}  // namespace

// The coarsest projectile of the example: a quarter of 20 mm x 80 mm, its
// arcs of equal angles; four times its volume at 7850 kg/m^3 is the 197 g
// of the experiment (the polygon of 8 sides a quarter loses 0.6 % of the
// circle's area), and the planes x = 0 and y = 0 are held.
TEST(PerforationExample, QuarterProjectileHasItsMassAndSymmetryPlanes) {
    TempDir dir("perforation-ogrid");
    RunResult r = run_command(kExample +
                                  "ogrid.sh --nc 4 --rim 0.01 --blend 3 --z \"0 0.002 0.012 0.08\" "
                                  "--name projectile -o p.msh",
                              dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    r = run_command(
        exe("hexdyn-mesh") + " gmsh p.msh --options " + kExample + "projectile.opts -o p.deck",
        dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    // Per level on each plane: nc + 1 nodes of the core and one of each ring.
    EXPECT_NE(r.out.find("\"xsym\", 32 nodes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"ysym\", 32 nodes"), std::string::npos) << r.out;
    const std::string deck = read_file(dir / "p.deck");
    const double mass = 4.0 * 7850.0 * deck_volume(deck);
    EXPECT_NEAR(mass, 0.197, 0.003) << "quarter projectile of " << mass / 4 << " kg";
    EXPECT_NE(deck.find("comp 2 0 0 -303.5"), std::string::npos);
    EXPECT_NE(deck.find("fixd 3 1 0 0"), std::string::npos) << deck.substr(0, 400);
    EXPECT_NE(deck.find("fixd 4 0 1 0"), std::string::npos) << deck.substr(0, 400);
}

// Two bodies apart, no failure: the projectile flies at its initial 303.5
// m/s and the plate stays at rest; residual.sh reads the animation files of
// both processes and gives the projectile's velocity and no plug.
TEST(PerforationExample, ResidualVelocityOfAFreeFlightOnTwoProcesses) {
    TempDir dir("perforation-residual");
    const std::string mesh = exe("hexdyn-mesh");
    const std::string script =
        "set -e; " + kExample +
        "ogrid.sh --nc 2 --rim 0.01 --blend 1 --rings 0.02 --z \"-0.004 0\" --name plate -o "
        "pl.msh; " +
        kExample +
        "ogrid.sh --nc 2 --rim 0.01 --blend 1 --z \"0 0.01 0.02\" --name projectile -o pr.msh; " +
        mesh + " gmsh pl.msh --options " + kExample +
        "plate.opts --endtime 2e-5 --outtime 2e-6 -o pl.deck; " + mesh + " gmsh pr.msh --options " +
        kExample + "projectile.opts --endtime 2e-5 -o pr.deck; " + mesh +
        " merge pl.deck pr.deck --offset 2=0,0,0.02 -o perforation.deck; " +
        exe("hexdyn-partition") + " perforation.deck 2 --dir .";
    RunResult r = run_command(script, dir.path(), 120);
    ASSERT_EQ(r.status, 0) << r.out;
    r = run_hexdyn(dir.path(), 2, 120);
    ASSERT_EQ(r.status, 0) << r.out;
    r = run_command(kExample + "residual.sh . --window 1e-5", dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    // The mean over the window is exact to the 0.1 m/s printed.
    EXPECT_NE(r.out.find("residual velocity of the projectile: -303.5 m/s"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("of its volume"), std::string::npos) << "a plug without a hole:\n"
                                                              << r.out;
}

// The shipped example (graded mesh, 16 layers, the published Johnson-Cook
// fracture constants with the damage coupled to the flow stress, critical
// damage 0.3) against the tests of the blunt projectile: the residual
// velocity at 303.5 m/s within 10 % of the measured 199.7 m/s, and the
// ballistic limit, measured at 184.5 m/s, between 168 m/s (the plate stops
// the projectile, which may bounce back a little) and 200 m/s (perforated),
// so within 10 % of the measured. A few minutes of run on 2 processes each;
// not under the sanitizers.
namespace {

void perforate(double v, double lo, double hi) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "whole perforation runs are too slow under the sanitizers";
#endif
    const std::string bin = std::filesystem::path(exe("hexdyn")).parent_path().string();
    TempDir dir("verify-perforation");
    const RunResult r =
        run_command("HEXDYN_BIN=" + bin + " " + kExample + "perforation.sh --velocity " +
                        testutil::num(v) + " " + dir.path().string() + "/run",
                    dir.path(), 880);
    ASSERT_EQ(r.status, 0) << r.out;
    const size_t at = r.out.find("residual velocity of the projectile: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    // Downwards (through the plate) is negative in the summary.
    const double vr = -std::stod(r.out.substr(at + 37));
    const size_t wall = r.out.find("wall time");
    std::printf("impact %.1f m/s: residual %.1f m/s (%s)\n", v, vr,
                wall == std::string::npos ? "" : r.out.substr(wall, 40).c_str());
    EXPECT_GE(vr, lo);
    EXPECT_LE(vr, hi);
}

}  // namespace

TEST(VerificationPerforation, ResidualVelocityAt303) { perforate(303.5, 0.9 * 199.7, 1.1 * 199.7); }

TEST(VerificationPerforation, PerforatedAt200) { perforate(200.0, 40.0, 200.0); }

TEST(VerificationPerforation, StoppedAt168) { perforate(168.0, -30.0, 20.0); }
