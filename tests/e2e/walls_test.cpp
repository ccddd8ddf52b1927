// Rigid walls against the mechanics of a rigid, frictionless or Coulomb
// surface: every impulse the walls give is the change of the body's momentum
// (read from the field output's velocities and the lumped masses), so the
// force curve of walls.dat integrates to it.
// - An elastic bar thrown obliquely at a skew plane rebounds: tangential
//   velocity kept, normal velocity reversed, kinetic energy recovered; the
//   same bar and plane turned together give the same figures.
// - A plane moving at constant speed strikes a block at rest: the impulse is
//   the momentum the block gained (it leaves at nearly twice the wall's
//   speed, an elastic rebound in the wall's frame), the wall gives the energy.
// - A block sliding on a plane under gravity: friction impulse mu times the
//   normal one, deceleration mu g.
// - A block dropped onto a sphere (the wall holding its bottom layer) and a
//   block thrown inside a cylinder: no node ever behind the surface.
// Every case prints its figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bodies.hpp"
#include "results.hpp"
#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

constexpr double kRho = 7850.0;
const std::string kSteel = "1 elas 7850.0 2.0e11 0.3";

using Matrix = std::array<Point3, 3>;

// Rotation by `angle` about `axis` (Rodrigues).
Matrix rotation(Point3 axis, double angle) {
    const double l = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    for (double& a : axis) a /= l;
    const double c = std::cos(angle), s = std::sin(angle);
    const auto [x, y, z] = axis;
    return {Point3{c + x * x * (1 - c), x * y * (1 - c) - z * s, x * z * (1 - c) + y * s},
            Point3{y * x * (1 - c) + z * s, c + y * y * (1 - c), y * z * (1 - c) - x * s},
            Point3{z * x * (1 - c) - y * s, z * y * (1 - c) + x * s, c + z * z * (1 - c)}};
}
Point3 apply(const Matrix& r, const Point3& p) {
    Point3 q{};
    for (size_t i = 0; i < 3; ++i) q[i] = r[i][0] * p[0] + r[i][1] * p[1] + r[i][2] * p[2];
    return q;
}
double dot(const Point3& a, const Point3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// A box of nx x ny x nz elements of size `size`, its bottom centre at `base`
// (before the turn `r` about the origin): component 1 above its bottom
// layer, component 2 that layer, both set moving at `v`. Nodes of the bottom
// layer sit `lift` above the base.
struct Block {
    Mesh mesh;
    std::vector<double> mass;  // lumped mass of each node
    double total = 0.0;
};
Block block(int nx, int ny, int nz, const Point3& size, const Point3& base, const Matrix& r,
            const Point3& v) {
    Block b;
    b.mesh.ncom = 2;
    const auto id = [&](int i, int j, int k) { return 1 + i + (nx + 1) * (j + (ny + 1) * k); };
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
                b.mesh.node(apply(r, {base[0] + (1.0 * i / nx - 0.5) * size[0],
                                      base[1] + (1.0 * j / ny - 0.5) * size[1],
                                      base[2] + 1.0 * k / nz * size[2]}),
                            k == 0 ? 2 : 1);
    b.mass.assign(b.mesh.x.size(), 0.0);
    const double share = kRho * size[0] * size[1] * size[2] / (8.0 * nx * ny * nz);
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const std::array<int, 8> c{id(i, j, k),
                                           id(i + 1, j, k),
                                           id(i + 1, j + 1, k),
                                           id(i, j + 1, k),
                                           id(i, j, k + 1),
                                           id(i + 1, j, k + 1),
                                           id(i + 1, j + 1, k + 1),
                                           id(i, j + 1, k + 1)};
                b.mesh.element(1, c);
                for (int n : c) b.mass[static_cast<size_t>(n - 1)] += share;
            }
    for (double m : b.mass) b.total += m;
    b.mesh.velocity = {{1, v}, {2, v}};
    return b;
}

std::string control(double endtime, double fieldstep) {
    std::ostringstream s;
    s.precision(9);
    s << "endt " << endtime << "\noutt 0.0\nrepo 1000000\ntime 2 0.0 1.0 1.0 1.0\nhour 2 0.1\n"
      << "ebal on\nfout " << fieldstep << "\n";
    return s.str();
}

std::string vec(const Point3& p) {
    std::ostringstream s;
    s.precision(12);
    s << p[0] << " " << p[1] << " " << p[2];
    return s.str();
}

// What a run gives: the walls' impulses on the nodes (minus the integral of
// the force curve), their work, the body's momentum from the last frame, and
// the energies.
struct Outcome {
    Point3 impulse{}, momentum{};
    double work = 0.0, kinetic0 = 0.0, kinetic = 0.0, error = 0.0;
    std::vector<FieldFrame> frames;
};

Outcome run(const TempDir& dir, const Block& b, const std::string& ctl, const std::string& extra,
            size_t wall = 0) {
    Outcome o;
    write_single_run(dir.path(), b.mesh.deck({kSteel}, ctl, extra, "walls"));
    const RunResult r = run_hexdyn(dir.path(), 1, 300);
    EXPECT_EQ(r.status, 0) << r.out;
    if (r.status != 0) return o;
    // With a record at every step, record i's force acts over dt(n) =
    // (t(i+1) - t(i-1)) / 2 (half the first step on step 1).
    const auto w = table_rows(dir / "walls.dat");
    for (size_t i = 0; i < w.size(); ++i) {
        const double before = w[i > 0 ? i - 1 : 0][0];
        const double after = i + 1 < w.size() ? w[i + 1][0] : w[i][0] + (w[i][0] - before);
        const double dt = 0.5 * (after - before);
        for (size_t c = 0; c < 3; ++c) o.impulse[c] -= w[i][1 + 4 * wall + c] * dt;
        o.work = w[i][4 + 4 * wall];
    }
    const auto e = energy_rows(dir / "energy.dat");
    const int ce = energy_column(dir / "energy.dat", "energy_error");
    o.kinetic0 = e.front()[1];
    o.kinetic = e.back()[1];
    for (const auto& row : e) o.error = std::max(o.error, std::fabs(row[static_cast<size_t>(ce)]));
    o.frames = field_frames(dir.path());
    const auto v = field_array<float>(read_file(o.frames.back().pieces.at(0)), "velocity");
    EXPECT_EQ(v.size(), 3 * b.mass.size());
    for (size_t k = 0; k < b.mass.size() && 3 * k + 2 < v.size(); ++k)
        for (size_t c = 0; c < 3; ++c) o.momentum[c] += b.mass[k] * v[3 * k + c];
    return o;
}

// |a - b| / |b|.
double relative(const Point3& a, const Point3& b) {
    const Point3 d{a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return std::sqrt(dot(d, d) / dot(b, b));
}

// ------------------------------------------------- oblique rebound, skew plane

struct Turn {
    Point3 axis;
    double angle;
};

class SkewRebound : public ::testing::TestWithParam<Turn> {};

// A steel bar 20 x 20 x 200 mm, 2 x 2 x 40 elements, at 3 m/s along the
// plane and 5 m/s into it; plane and bar turned together.
Outcome rebound(const Turn& t, const TempDir& dir) {
    const Matrix r = rotation(t.axis, t.angle);
    const Point3 v0 = apply(r, {3.0, 0.0, -5.0});
    const Block b = block(2, 2, 40, {0.02, 0.02, 0.2}, {0.0, 0.0, 1.0e-5}, r, v0);
    return run(dir, b, control(1.2e-4, 1.0e-5),
               "wall\nplan 0 0 0 " + vec(apply(r, {0.0, 0.0, 1.0})) + "\nendw\n");
}

TEST_P(SkewRebound, TangentKeptNormalReversedImpulseIsMomentum) {
    const Turn t = GetParam();
    TempDir dir("wall-rebound");
    const Outcome o = rebound(t, dir);
    const Matrix r = rotation(t.axis, t.angle);
    const Point3 n = apply(r, {0.0, 0.0, 1.0}), s = apply(r, {1.0, 0.0, 0.0});
    const double mass = kRho * 0.02 * 0.02 * 0.2;
    const Point3 p0 = apply(r, {3.0 * mass, 0.0, -5.0 * mass});
    const Point3 change{o.momentum[0] - p0[0], o.momentum[1] - p0[1], o.momentum[2] - p0[2]};
    const double vt = dot(o.momentum, s) / mass, vn = dot(o.momentum, n) / mass;
    std::printf(
        "turn %.2f: v_t %.6f (3), v_n %.4f (-5 before), kinetic %.4f of %.4f J (%.2f %%), "
        "impulse %.6e vs momentum change %.6e (rel %.2e), wall work %.4f J, balance %.1e\n",
        t.angle, vt, vn, o.kinetic, o.kinetic0, 100.0 * o.kinetic / o.kinetic0,
        std::sqrt(dot(o.impulse, o.impulse)), std::sqrt(dot(change, change)),
        relative(o.impulse, change), o.work, o.error);
    EXPECT_NEAR(vt, 3.0, 3.0e-6);
    EXPECT_GT(vn, 4.5);
    EXPECT_LT(vn, 5.0);
    EXPECT_GT(o.kinetic / o.kinetic0, 0.93);
    EXPECT_LT(relative(o.impulse, change), 1.0e-6);
    // The impulse is along the normal alone (as the deck gives it, in single
    // precision): no friction.
    EXPECT_LT(std::fabs(dot(o.impulse, s)), 1.0e-6 * std::fabs(dot(o.impulse, n)));
    EXPECT_LT(o.error, 1.0e-3);
}

INSTANTIATE_TEST_SUITE_P(VerificationWalls, SkewRebound,
                         ::testing::Values(Turn{{1.0, 2.0, 3.0}, 0.7},
                                           Turn{{-1.0, 0.5, 0.2}, 2.1}));

TEST(VerificationWalls, SkewReboundIsTheSameInAnyOrientation) {
    TempDir a("wall-turn-a"), b("wall-turn-b");
    const Outcome one = rebound({{1.0, 2.0, 3.0}, 0.7}, a);
    const Outcome two = rebound({{-1.0, 0.5, 0.2}, 2.1}, b);
    std::printf("kinetic %.9e vs %.9e J, wall work %.9e vs %.9e J\n", one.kinetic, two.kinetic,
                one.work, two.work);
    EXPECT_NEAR(one.kinetic, two.kinetic, 1.0e-6 * one.kinetic0);
    EXPECT_NEAR(one.work, two.work, 1.0e-6 * one.kinetic0);
    EXPECT_NEAR(std::sqrt(dot(one.impulse, one.impulse)), std::sqrt(dot(two.impulse, two.impulse)),
                1.0e-6 * std::sqrt(dot(one.impulse, one.impulse)));
}

// ------------------------------------------------------- moving plane pushes

TEST(VerificationWalls, MovingPlanePushesTheBlockWithItsMomentum) {
    TempDir dir("wall-push");
    const Matrix r = rotation({0.3, -1.0, 0.4}, 0.9);
    const Point3 n = apply(r, {0.0, 0.0, 1.0});
    const double speed = 2.0;
    const Block b = block(2, 2, 10, {0.02, 0.02, 0.1}, {0.0, 0.0, 0.0}, r, {0.0, 0.0, 0.0});
    const Outcome o = run(
        dir, b, control(1.0e-4, 1.0e-5),
        "wall\nplan 0 0 0 " + vec(n) + "\nmove " + vec(apply(r, {0.0, 0.0, speed})) + "\nendw\n");
    const double gained = dot(o.momentum, n);
    std::printf(
        "momentum %.6e kg m/s, impulse %.6e (rel %.2e), mean velocity %.4f m/s (wall %.1f), "
        "mean force %.4e N, wall work %.4e J, kinetic %.4e J, balance %.1e\n",
        gained, dot(o.impulse, n), relative(o.impulse, o.momentum), gained / b.total, speed,
        gained / 1.0e-4, o.work, o.kinetic, o.error);
    EXPECT_LT(relative(o.impulse, o.momentum), 1.0e-6);
    // The struck block rebounds from the wall as from one at rest in the
    // wall's frame: it leaves at up to twice the wall's speed, less what
    // stays in its vibration.
    EXPECT_GT(gained / b.total, 1.5 * speed);
    EXPECT_LE(gained / b.total, 2.0 * speed);
    EXPECT_LT(o.work, 0.0);  // the wall gives the energy
    EXPECT_LT(o.error, 1.0e-3);
}

// ------------------------------------------------------------------ friction

TEST(VerificationWalls, FrictionDeceleratesASlidingBlockAtMuG) {
    TempDir dir("wall-friction");
    const double g = 1000.0, mu = 0.3, v0 = 2.0, t = 2.0e-3;
    const Matrix r = rotation({0.0, 0.0, 1.0}, 0.0);
    const Block b = block(2, 2, 1, {0.1, 0.1, 0.05}, {0.0, 0.0, 0.0}, r, {v0, 0.0, 0.0});
    std::ostringstream load;
    load << "load\n";
    for (size_t k = 0; k < b.mass.size(); ++k)
        load << "node " << k + 1 << " 0 0 " << -b.mass[k] * g << "\n";
    load << "endl\n";
    const Outcome o =
        run(dir, b, control(t, 1.0e-4), load.str() + "wall\nplan 0 0 0 0 0 1\nfric 0.3\nendw\n");
    const double decel = (v0 - o.momentum[0] / b.total) / t;
    const double ratio = -o.impulse[0] / o.impulse[2];
    std::printf("deceleration %.3f m/s^2 (mu g %.3f), friction / normal impulse %.5f (mu %.2f)\n",
                decel, mu * g, ratio, mu);
    EXPECT_NEAR(ratio, mu, 0.01 * mu);
    EXPECT_NEAR(decel, mu * g, 0.02 * mu * g);
}

// ------------------------------------------------------- sphere and cylinder

// The least of `measure` over the nodes `which` of every frame.
template <class Measure>
double least(const Outcome& o, const Block& b, const std::vector<int>& which,
             const Measure& measure) {
    double m = 1.0e30;
    for (const FieldFrame& f : o.frames) {
        const JoinedFrame j = join_frame(f, static_cast<int>(b.mesh.x.size()),
                                         static_cast<int>(b.mesh.hex.size()), {});
        for (int n : which) m = std::min(m, measure(j.x[static_cast<size_t>(n - 1)]));
    }
    return m;
}

TEST(VerificationWalls, CurvedWallsKeepTheirNodes) {
    // A block dropped at 5 m/s onto a sphere that holds its bottom layer.
    {
        TempDir dir("wall-sphere");
        const double radius = 0.05;
        const Block b = block(4, 4, 2, {0.08, 0.08, 0.02}, {0.0, 0.0, 1.0e-4},
                              rotation({0.0, 0.0, 1.0}, 0.0), {0.0, 0.0, -5.0});
        const Outcome o =
            run(dir, b, control(6.0e-5, 2.0e-6), "wall\nsphe 0 0 -0.05 0.05\ncomp 2\nendw\n");
        std::vector<int> bottom;
        for (size_t k = 0; k < b.mesh.comp.size(); ++k)
            if (b.mesh.comp[k] == 2) bottom.push_back(static_cast<int>(k) + 1);
        const double d = least(o, b, bottom, [&](const Point3& x) {
            return std::sqrt(x[0] * x[0] + x[1] * x[1] + (x[2] + radius) * (x[2] + radius));
        });
        std::printf(
            "sphere: least distance of the bottom layer from the centre %.9f m (radius "
            "%.3f), %zu frames, impulse %.4e N s upwards\n",
            d, radius, o.frames.size(), o.impulse[2]);
        EXPECT_GT(o.frames.size(), 20u);
        EXPECT_GE(d, radius * (1.0 - 1.0e-6));
        EXPECT_GT(o.impulse[2], 0.0);
    }
    // A block thrown sideways at 20 m/s inside a cylinder of radius 40 mm.
    {
        TempDir dir("wall-cylinder");
        const double radius = 0.04;
        const Block b = block(2, 2, 4, {0.02, 0.02, 0.04}, {0.0, 0.0, 0.0},
                              rotation({0.0, 0.0, 1.0}, 0.0), {20.0, 5.0, 0.0});
        const Outcome o =
            run(dir, b, control(4.0e-3, 2.0e-5), "wall\ncyli 0 0 0 0 0 1 0.04\ninsi\nendw\n");
        std::vector<int> all;
        for (size_t k = 0; k < b.mesh.x.size(); ++k) all.push_back(static_cast<int>(k) + 1);
        const double d = -least(
            o, b, all, [](const Point3& x) { return -std::sqrt(x[0] * x[0] + x[1] * x[1]); });
        std::printf(
            "cylinder: largest distance from the axis %.9f m (radius %.3f), %zu frames, "
            "kinetic %.3f of %.3f J\n",
            d, radius, o.frames.size(), o.kinetic, o.kinetic0);
        EXPECT_LE(d, radius * (1.0 + 1.0e-6));
        // It has met the wall (20 m/s covers the radius in 2 ms) and turned.
        EXPECT_GT(std::fabs(o.impulse[0]), 0.1 * b.total * 20.0);
    }
}

}  // namespace
