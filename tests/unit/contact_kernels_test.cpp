// The kernels of the contact: where a node lies against a face, the normal
// force that stops it, friction, and the binning of the search.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "contact/penalty.hpp"
#include "contact/search.hpp"

namespace {

// A unit square face at z = 0 looking along +z, turned by `turn` about x.
void square(double turn, double xf[4][3]) {
    const double c[4][2] = {{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}};
    for (int i = 0; i < 4; ++i) {
        xf[i][0] = c[i][0];
        xf[i][1] = c[i][1] * std::cos(turn);
        xf[i][2] = c[i][1] * std::sin(turn);
    }
}

}  // namespace

TEST(ContactKernels, ProjectionOntoAFace) {
    struct Case {
        const char* what;
        double turn;
        double x[3];
        double gap, xi, eta;
        bool inside;
    };
    const double s = std::sin(0.3), c = std::cos(0.3);
    const Case cases[] = {
        {"above the middle", 0.0, {0.0, 0.0, 0.2}, 0.2, 0.0, 0.0, true},
        {"behind, off centre", 0.0, {0.25, -0.1, -0.05}, -0.05, 0.5, -0.2, true},
        {"just past the edge, within the tolerance",
         0.0,
         {0.505, 0.0, -0.01},
         -0.01,
         1.01,
         0.0,
         true},
        {"past the edge", 0.0, {0.6, 0.0, -0.01}, -0.01, 1.2, 0.0, false},
        // On a turned face the gap is along its own normal (0, -sin, cos).
        {"turned face", 0.3, {0.0, -0.1 * s + 0.25 * c, 0.1 * c + 0.25 * s}, 0.1, 0.0, 0.5, true},
    };
    for (const Case& k : cases) {
        double xf[4][3];
        square(k.turn, xf);
        const contact::projection p = contact::project(k.x, xf);
        EXPECT_NEAR(p.gap, k.gap, 1e-12) << k.what;
        EXPECT_NEAR(p.xi, k.xi, 1e-12) << k.what;
        EXPECT_NEAR(p.eta, k.eta, 1e-12) << k.what;
        EXPECT_EQ(p.inside, k.inside) << k.what;
        double sum = 0.0;
        for (const double n : p.shape) sum += n;
        EXPECT_NEAR(sum, 1.0, 1e-14) << k.what;
    }
}

// The side test that spares the projection never rules out a face the
// node's closest point lies on: random faces (stretched up to 8:1, sheared,
// warped up to a fifth of their size, turned anywhere) and random nodes
// within three face sizes; every node projected onto a face within the
// reach must pass. Flat faces must still rule out the nodes beside them
// (the next faces along a plane), or the test spares nothing.
TEST(ContactKernels, SideTestKeepsEveryNodeOnTheFace) {
    struct Case {
        const char* what;
        double warp;     // corner offsets along the normal, of the face's size
        double stretch;  // largest aspect ratio
        double taper;    // largest difference of the widths of opposite sides, of their mean
        double reach;    // of the face's size
    };
    const Case cases[] = {
        {"flat parallelograms", 0.0, 8.0, 0.0, 0.5},
        {"trapezoids", 0.0, 4.0, 0.8, 0.5},
        {"slightly warped", 0.02, 4.0, 0.2, 0.5},
        {"warped", 0.2, 2.0, 0.5, 1.0},
    };
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (const Case& k : cases) {
        int on = 0, beside = 0, ruledout = 0;
        for (int trial = 0; trial < 20000; ++trial) {
            const double a = 0.5 * (1.0 + (k.stretch - 1.0) * 0.5 * (1.0 + u(rng))), b = 0.5;
            const double shear = 0.3 * u(rng), t = 0.5 * k.taper * u(rng);
            const double z = k.warp * u(rng);
            double local[4][3] = {{-a * (1 + t) - shear, -b, z},
                                  {a * (1 + t) - shear, -b, -z},
                                  {a * (1 - t) + shear, b, z},
                                  {-a * (1 - t) + shear, b, -z}};
            // A random rotation from three angles.
            const double p = 3.2 * u(rng), q = 3.2 * u(rng), r = 3.2 * u(rng);
            const double R[3][3] = {
                {std::cos(p) * std::cos(q),
                 std::cos(p) * std::sin(q) * std::sin(r) - std::sin(p) * std::cos(r),
                 std::cos(p) * std::sin(q) * std::cos(r) + std::sin(p) * std::sin(r)},
                {std::sin(p) * std::cos(q),
                 std::sin(p) * std::sin(q) * std::sin(r) + std::cos(p) * std::cos(r),
                 std::sin(p) * std::sin(q) * std::cos(r) - std::cos(p) * std::sin(r)},
                {-std::sin(q), std::cos(q) * std::sin(r), std::cos(q) * std::cos(r)}};
            // Every other node of the flat faces lies in their plane.
            const bool inplane = k.warp == 0.0 && k.taper == 0.0 && trial % 2 == 0;
            double xf[4][3], xs[3],
                ls[3] = {3.0 * u(rng), 3.0 * u(rng), inplane ? 0.0 : 1.5 * k.reach * u(rng)};
            for (int i = 0; i < 4; ++i)
                for (int c = 0; c < 3; ++c)
                    xf[i][c] =
                        R[c][0] * local[i][0] + R[c][1] * local[i][1] + R[c][2] * local[i][2];
            for (int c = 0; c < 3; ++c) xs[c] = R[c][0] * ls[0] + R[c][1] * ls[1] + R[c][2] * ls[2];
            const bool off = contact::offface(xs, xf, k.reach);
            const contact::projection pr = contact::project(xs, xf);
            if (pr.inside && std::fabs(pr.gap) <= k.reach) {
                on += 1;
                EXPECT_FALSE(off) << k.what << ": trial " << trial << " xi " << pr.xi << " eta "
                                  << pr.eta << " gap " << pr.gap;
            }
            if (inplane && !pr.inside) {
                beside += 1;
                ruledout += off ? 1 : 0;
            }
        }
        EXPECT_GT(on, 500) << k.what;
        if (k.warp == 0.0 && k.taper == 0.0) {
            EXPECT_GT(beside, 5000) << k.what;
            EXPECT_EQ(ruledout, beside) << k.what;
        }
    }
}

// The normal force against a single pair of effective mass 1 with steps of
// 1: the node is stopped at the stop depth whatever it closes in at, a
// deeper one is taken back by a tenth of its excess a step, the spring acts
// alone where it is the larger, and nothing is pulled.
TEST(ContactKernels, NormalForceHoldsAtTheStopDepth) {
    struct Case {
        const char* what;
        double g, gnext, k, weight;
        double force;
    };
    const double stop = 0.01;
    const Case cases[] = {
        {"free, not closing in", 0.1, 0.05, 100.0, 1.0, 0.0},
        {"closes in to beyond the stop: stopped there", 0.02, -0.5, 100.0, 1.0, 0.49},
        {"very fast: still stopped there", 0.0, -50.0, 100.0, 1.0, 49.99},
        {"mirror image shares it", 0.0, -0.5, 100.0, 0.5, 0.245},
        // 0.04 beyond the stop: a tenth of that taken back within the step.
        {"already deeper: held, its excess taken back by a tenth", -0.05, -0.08, 0.0, 1.0, 0.034},
        {"deeper and not closing in: the spring alone", -0.05, -0.04, 100.0, 1.0, 5.0},
        {"shallow: the spring is the larger", -0.005, -0.012, 100.0, 1.0, 0.5},
        {"moving out: no pull", -0.005, 0.3, 0.0, 1.0, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(contact::normalforce(c.g, c.gnext, c.k, 1.0, stop, c.weight, 1.0, 1.0), c.force,
                    1e-12)
            << c.what;
    // The force lands the predicted gap on the stop depth: F dt dt / m.
    const double m = 2e-3, dtnext = 1e-7, dtn = 1.2e-7, gnext = -3e-4;
    const double f = contact::normalforce(0.0, gnext, 0.0, m, 1e-5, 1.0, dtnext, dtn);
    EXPECT_NEAR(gnext + f * dtnext * dtn / m, -1e-5, 1e-18);
}

TEST(ContactKernels, FrictionSlidesAtMuAndSticksWithinTheStep) {
    const double n[3] = {0.0, 0.0, 1.0};
    struct Case {
        const char* what;
        double vr[3];
        double mus, mud, decay, meff, dt;
        double ft;  // magnitude of the friction force, against the sliding
    };
    const Case cases[] = {
        {"sliding", {2.0, 0.0, -5.0}, 0.3, 0.3, 0.0, 1.0, 1e-3, 30.0},
        {"static to dynamic with the speed",
         {0.0, 3.0, 0.0},
         0.5,
         0.1,
         1.0,
         1.0,
         1e-3,
         100.0 * (0.1 + 0.4 * std::exp(-3.0))},
        // mu 10 would reverse the sliding within the step: the force that
        // stops it instead.
        {"sticking", {0.01, 0.0, 0.0}, 10.0, 10.0, 0.0, 0.5, 1e-3, 5.0},
        {"not sliding", {0.0, 0.0, 1.0}, 1.0, 1.0, 0.0, 1.0, 1e-3, 0.0},
    };
    for (const Case& c : cases) {
        double f[3] = {0.0, 0.0, 100.0};
        contact::friction(c.vr, n, 100.0, c.mus, c.mud, c.decay, c.meff, c.dt, f);
        const double s = std::hypot(c.vr[0], c.vr[1]);
        const double t = std::hypot(f[0], f[1]);
        EXPECT_NEAR(t, c.ft, 1e-9 * (1.0 + c.ft)) << c.what;
        EXPECT_DOUBLE_EQ(f[2], 100.0) << c.what;
        if (s > 0.0) { EXPECT_LE(f[0] * c.vr[0] + f[1] * c.vr[1], 0.0) << c.what; }
    }
}

// Every box holding a point is among the boxes of the point's cells, once
// and in increasing number (the order the candidate lists and the overlap
// check at the start take them in), for boxes of one size, of sizes over
// three decades (a graded mesh: the small ones must not be listed at every
// point near a large one) and of no size at all.
TEST(ContactKernels, BinsFindEveryBoxHoldingAPoint) {
    struct Case {
        const char* what;
        double smallest, largest;  // box sizes, drawn evenly in their logarithm
        std::int64_t most;         // bound on the boxes listed over all points
    };
    const Case cases[] = {{"one size", 0.3, 0.3, 300 * 500 / 4},
                          {"graded", 1e-3, 1.0, 300 * 500 / 8},
                          {"points", 0.0, 0.0, 300 * 500 / 4}};
    for (const Case& c : cases) {
        std::mt19937 gen(7);
        std::uniform_real_distribution<double> at(-1.0, 1.0), unit(0.0, 1.0);
        std::vector<contact::bin> boxes(300);
        for (contact::bin& b : boxes) {
            const double w =
                c.largest > 0.0 ? c.smallest * std::pow(c.largest / c.smallest, unit(gen)) : 0.0;
            for (int d = 0; d < 3; ++d) {
                b.lo[d] = at(gen);
                b.hi[d] = b.lo[d] + w * unit(gen);
            }
        }
        std::vector<std::array<double, 3>> points(500);
        // Half the points at the corners of boxes (so that zero-size boxes
        // are held), half anywhere.
        for (std::size_t i = 0; i < points.size(); ++i)
            for (int d = 0; d < 3; ++d)
                points[i][static_cast<std::size_t>(d)] =
                    i % 2 == 0 ? boxes[i % boxes.size()].lo[d] : 1.2 * at(gen);
        const contact::grid g = contact::bingrid(boxes);
        std::int64_t listed = 0;
        for (const std::array<double, 3>& p : points) {
            std::vector<int> hits{-1};
            g.query(p.data(), hits);
            listed += static_cast<std::int64_t>(hits.size()) - 1;
            EXPECT_TRUE(std::is_sorted(hits.begin(), hits.end()) &&
                        std::adjacent_find(hits.begin(), hits.end()) == hits.end())
                << c.what;
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                bool in = true;
                for (int d = 0; d < 3; ++d)
                    in = in && p[static_cast<std::size_t>(d)] >= boxes[i].lo[d] &&
                         p[static_cast<std::size_t>(d)] <= boxes[i].hi[d];
                const bool found =
                    std::find(hits.begin(), hits.end(), static_cast<int>(i)) != hits.end();
                EXPECT_TRUE(found || !in) << c.what << ", box " << i;
            }
        }
        // And not every box for every point: the grid sorts.
        EXPECT_LT(listed, c.most) << c.what;
    }
}
