// A thin-walled square steel tube crushed axially at constant speed by a
// rigid plate (a finite plane wall moving down), its folds held apart by
// self-contact, against the folding theory of square tubes: the mean crush
// force of Abramowicz and Jones (Int. J. Impact Eng. 2, 1984, 179-208),
// P = 52.22 M0 (C/t)^(1/3) with M0 = s0 t^2 / 4, the super-folding element
// of Wierzbicki and Abramowicz (J. Appl. Mech. 50, 1983, 727-734) with the
// effective crushing distance of a flattened fold. The model is the coarse
// version of examples/tube, meshed by hexdyn-mesh tube --wall.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
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

using Hex = std::array<int, 8>;

// The elements of a deck's "elem" block (corner nodes, 1-based).
std::vector<Hex> deck_elements(const std::string& deck) {
    std::istringstream in(deck);
    std::vector<Hex> hex;
    std::string line;
    bool within = false;
    while (std::getline(in, line)) {
        std::istringstream w(line);
        std::string first;
        if (!(w >> first)) continue;
        if (first == "elem") {
            within = true;
            continue;
        }
        if (first.find_first_not_of("0123456789") != std::string::npos) {
            within = false;
            continue;
        }
        if (!within) continue;
        int set = 0;
        Hex h{};
        w >> set;
        for (int& n : h) w >> n;
        hex.push_back(h);
    }
    return hex;
}

// Nodes of the model inside an element that is not theirs nor a neighbour of
// theirs, deeper than `margin` of the element's natural half-width on every
// axis: a fold pushed through the wall it lies on. Elements are binned over
// the model's box.
struct Inside {
    int nodes = 0;         // nodes inside by more than the margin
    double deepest = 0.0;  // the deepest one's depth, over the element's natural half-width
};

Inside nodes_inside_elements(const std::vector<Point3>& x, const std::vector<Hex>& hex,
                             double margin) {
    Point3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
    for (const Point3& p : x)
        for (size_t d = 0; d < 3; ++d) {
            lo[d] = std::min(lo[d], p[d]);
            hi[d] = std::max(hi[d], p[d]);
        }
    constexpr int kBins = 32;
    auto cell = [&](double v, size_t d) {
        const double s = hi[d] > lo[d] ? (v - lo[d]) / (hi[d] - lo[d]) : 0.0;
        return std::clamp(static_cast<int>(s * kBins), 0, kBins - 1);
    };
    auto bin = [](int i, int j, int k) {
        return static_cast<size_t>(i) +
               kBins * (static_cast<size_t>(j) + kBins * static_cast<size_t>(k));
    };
    std::vector<std::vector<int>> bins(static_cast<size_t>(kBins) * kBins * kBins);
    for (size_t e = 0; e < hex.size(); ++e) {
        Point3 a{1e30, 1e30, 1e30}, b{-1e30, -1e30, -1e30};
        for (const int n : hex[e])
            for (size_t d = 0; d < 3; ++d) {
                a[d] = std::min(a[d], x[static_cast<size_t>(n - 1)][d]);
                b[d] = std::max(b[d], x[static_cast<size_t>(n - 1)][d]);
            }
        for (int i = cell(a[0], 0); i <= cell(b[0], 0); ++i)
            for (int j = cell(a[1], 1); j <= cell(b[1], 1); ++j)
                for (int k = cell(a[2], 2); k <= cell(b[2], 2); ++k)
                    bins[bin(i, j, k)].push_back(static_cast<int>(e));
    }
    // The corners of each node's own elements: an element that shares one
    // of them is its neighbour, squeezed against it by the hinge's bending
    // and not a fold the contact keeps away.
    std::vector<std::vector<int>> near(x.size());
    for (const Hex& h : hex)
        for (const int n : h)
            near[static_cast<size_t>(n - 1)].insert(near[static_cast<size_t>(n - 1)].end(),
                                                    h.begin(), h.end());
    Inside found;
    for (size_t n = 0; n < x.size(); ++n) {
        const Point3& p = x[n];
        const std::vector<int>& own = near[n];
        for (const int e : bins[bin(cell(p[0], 0), cell(p[1], 1), cell(p[2], 2))]) {
            const Hex& h = hex[static_cast<size_t>(e)];
            if (std::any_of(h.begin(), h.end(), [&own](int c) {
                    return std::find(own.begin(), own.end(), c) != own.end();
                }))
                continue;
            Point3 corners[8];
            for (size_t c = 0; c < 8; ++c) corners[c] = x[static_cast<size_t>(h[c] - 1)];
            const Point3 r = natural(corners, p);
            const double depth =
                1.0 - std::max({std::fabs(r[0]), std::fabs(r[1]), std::fabs(r[2])});
            if (depth > margin) {
                found.nodes += 1;
                found.deepest = std::max(found.deepest, depth);
                break;
            }
        }
    }
    return found;
}

}  // namespace

// Mild steel, elastic-perfectly plastic (s0 = 250 MPa): C = 20 mm across the
// middle of the wall, t = 1 mm, L = 50 mm; 2 elements through the wall (with
// one-point elements two layers at +-s0 carry exactly the fully plastic
// moment s0 t^2 / 4 of the theory's hinges), 10 along a side, 25 along the
// length. Held at its base, crushed at 15 m/s over 30 mm by a plate with
// Coulomb friction 0.3. The straight tube and the plate are symmetric under
// a quarter turn and so is the run: the four sides fold out and in
// together, in two folds over the 30 mm. The estimate is 8.86 kN; the run
// gives 10.09 kN (+14 %), the default mesh of the example (3 x 20 x 50
// elements, 36 mm) 10.17 kN (+15 %): the excess is the closed form's
// idealisation (rigid-plastic hinge lines, the symmetric mode where this
// tube folds its sides in phase), not the mesh's. Allowed: 20 %, which a
// contact letting the folds through or a wrong flow stress leaves.
TEST(VerificationCrushedTube, MeanForceOfTheFoldingTheoryWithoutInterpenetration) {
    const auto t0 = std::chrono::steady_clock::now();
    const double side = 0.02, wall = 0.001, length = 0.05, s0 = 2.5e8, speed = 15.0;
    const double gap = 1.0e-4, crush = 0.03;
    const int nwall = 2, nside = 10, nalong = 25;
    TempDir dir("crushed-tube");
    std::ostringstream cmd;
    cmd.precision(9);
    cmd << exe("hexdyn-mesh") << " tube --side " << side << " --thickness " << wall << " --length "
        << length << " --nwall " << nwall << " --nside " << nside << " --nalong " << nalong
        << " --material pla1,7850,2.0e11,0.3," << s0 << " --fix bottom,xyz --contact on"
        << " --endtime " << (crush + gap) / speed << " --outtime " << 2.0e-4 / speed << " --fields "
        << 3.0e-3 / speed << " --report 1000000"
        << " --wall plane,-0.02,0.02," << length + gap
        << ",0,0,-1,edge=1,0,0,0.04,0.04,move=0,0,-15,fric=0.3 --comm -o a";
    const RunResult mesh = run_command(cmd.str(), dir.path());
    ASSERT_EQ(mesh.status, 0) << mesh.out;
    const RunResult r = run_hexdyn(dir.path(), 1, 900);
    ASSERT_EQ(r.status, 0) << r.out;

    // The plate: its travel after the first touch and the work it has done.
    const auto w = table_rows(dir / "walls.dat");
    ASSERT_GT(w.size(), 100u);
    const double travel = w.back()[0] * speed - gap, work = -w.back()[4];
    double peak = 0.0;
    for (const auto& row : w) peak = std::max(peak, row[3]);
    const double mean = work / travel;
    const double estimate = 52.22 * s0 * wall * wall / 4.0 * std::cbrt(side / wall);
    const double superfolding = 9.56 * s0 * std::pow(wall, 5.0 / 3.0) * std::cbrt(side);

    // The balance: the plate's work is all the energy that went in.
    const fs::path energy = dir / "energy.dat";
    const auto e = energy_rows(energy);
    const int ctotal = energy_column(energy, "total"), cplane = energy_column(energy, "plane_work"),
              cwall = energy_column(energy, "wall_work"),
              ccontact = energy_column(energy, "contact");
    ASSERT_GT(ctotal, 0);
    ASSERT_GT(cwall, 0);
    ASSERT_GT(ccontact, 0);
    double worst = 0.0, lowest = 0.0;
    for (const auto& row : e) {
        const double done = -row[static_cast<size_t>(cwall)];
        if (!(done > 0.0)) continue;
        const double mismatch = row[static_cast<size_t>(ctotal)] +
                                row[static_cast<size_t>(cplane)] + row[static_cast<size_t>(cwall)];
        worst = std::max(worst, std::fabs(mismatch) / done);
        lowest = std::min(lowest, row[static_cast<size_t>(ccontact)] / done);
    }

    // No fold through another at the end.
    const std::vector<Hex> hex = deck_elements(read_file(dir / "a"));
    ASSERT_EQ(hex.size(), static_cast<size_t>(nwall * 4 * nside * nalong));
    const int nnodes = (nwall + 1) * 4 * nside * (nalong + 1);
    // Nodes the contact holds sit at its stop depth, a quarter of a per cent
    // of the element's thickness behind the face, so many count as inside
    // at no margin. A fold through a wall is a node deeper than 0.2 of the
    // element's natural half-width (10 % of its width).
    int inside_any = 0, inside_1 = 0, frames = 0;
    Inside last;
    for (const FieldFrame& f : field_frames(dir.path())) {
        const JoinedFrame j = join_frame(f, nnodes, static_cast<int>(hex.size()), {});
        last = nodes_inside_elements(j.x, hex, 0.0);
        inside_any = std::max(inside_any, last.nodes);
        inside_1 = std::max(inside_1, nodes_inside_elements(j.x, hex, 0.02).nodes);
        frames += 1;
    }
    std::printf(
        "crushed tube: %.1f mm, mean force %.3f kN (Abramowicz-Jones %.3f kN, %+.1f %%; "
        "Wierzbicki-Abramowicz %.3f kN, %+.1f %%), peak %.2f kN; energy balance within %.4f %% of "
        "the work done, contact energy at least %+.4f %%; nodes inside an element in %d frames: "
        "at most %d, deeper than 1 %% of its width %d; in the last frame %d, the deepest by %.3f "
        "of its half-width; %.1f s\n",
        1e3 * travel, 1e-3 * mean, 1e-3 * estimate, 100.0 * (mean / estimate - 1.0),
        1e-3 * superfolding, 100.0 * (mean / superfolding - 1.0), 1e-3 * peak, 100.0 * worst,
        100.0 * lowest, frames, inside_any, inside_1, last.nodes, last.deepest,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    EXPECT_NEAR(travel, crush, 1e-4);
    EXPECT_NEAR(mean / estimate, 1.0, 0.20);
    EXPECT_LT(worst, 0.01);
    EXPECT_GE(lowest, -0.005);
    EXPECT_GE(frames, 10);
    EXPECT_LT(last.deepest, 0.2);
}
