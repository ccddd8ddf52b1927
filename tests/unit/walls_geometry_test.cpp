// The wall shapes' gap and normal, and the velocity change that puts a node
// back on the surface with Coulomb friction.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "walls/geometry.hpp"

namespace {

using walls::vec3;

walls::wall plane(const vec3& n) {
    walls::wall w;
    const double l = walls::length(n);
    w.normal = walls::scaled(n, 1.0 / l);
    return w;
}

struct Where {
    std::string name;
    walls::wall w;
    vec3 x;
    double t;
    bool acts;
    double gap;
    vec3 normal;
};

TEST(WallGeometry, GapAndNormalOfEveryShape) {
    const double r = 1.0 / std::sqrt(2.0);
    walls::wall skew = plane({1.0, 1.0, 0.0});
    walls::wall finite = plane({0.0, 0.0, 1.0});
    finite.edge = {1.0, 0.0, 0.0};
    finite.sizea = 2.0;
    finite.sizeb = 1.0;
    walls::wall moving = plane({0.0, 0.0, 1.0});
    moving.velocity = {0.0, 0.0, 3.0};
    walls::wall cyl;
    cyl.kind = walls::shape::cylinder;
    cyl.normal = {0.0, 0.0, 1.0};
    cyl.radius = 2.0;
    walls::wall cylin = cyl;
    cylin.inside = true;
    walls::wall cylshort = cyl;
    cylshort.span = 1.0;
    walls::wall ball;
    ball.kind = walls::shape::sphere;
    ball.point = {1.0, 0.0, 0.0};
    ball.radius = 1.0;
    walls::wall ballin = ball;
    ballin.inside = true;
    const std::vector<Where> table = {
        {"skew plane, in front", skew, {1.0, 1.0, 5.0}, 0.0, true, 2.0 * r, {r, r, 0.0}},
        {"skew plane, behind", skew, {-1.0, 0.0, 0.0}, 0.0, true, -r, {r, r, 0.0}},
        {"finite plane, over it", finite, {1.5, 0.5, -0.1}, 0.0, true, -0.1, {0.0, 0.0, 1.0}},
        {"finite plane, beyond edge a", finite, {2.5, 0.5, -0.1}, 0.0, false, -0.1, {0, 0, 1}},
        {"finite plane, beyond edge b", finite, {1.0, -0.5, -0.1}, 0.0, false, -0.1, {0, 0, 1}},
        {"moving plane at t", moving, {0.0, 0.0, 1.0}, 0.5, true, -0.5, {0.0, 0.0, 1.0}},
        {"cylinder, outside", cyl, {0.0, 3.0, 7.0}, 0.0, true, 1.0, {0.0, 1.0, 0.0}},
        {"cylinder, body inside", cylin, {1.5, 0.0, -4.0}, 0.0, true, 0.5, {-1.0, 0.0, 0.0}},
        {"cylinder, past its length", cylshort, {1.0, 0.0, 1.5}, 0.0, false, 0.0, {0, 0, 0}},
        {"sphere, behind", ball, {1.0, 0.5, 0.0}, 0.0, true, -0.5, {0.0, 1.0, 0.0}},
        {"sphere, body inside", ballin, {1.0, 0.0, 0.8}, 0.0, true, 0.2, {0.0, 0.0, -1.0}},
        {"sphere, at the centre", ball, {1.0, 0.0, 0.0}, 0.0, false, 0.0, {0, 0, 0}},
    };
    for (const Where& c : table) {
        SCOPED_TRACE(c.name);
        const walls::contactpoint p = walls::locate(c.w, c.x, c.t);
        EXPECT_EQ(p.acts, c.acts);
        if (!p.acts) continue;
        EXPECT_NEAR(p.gap, c.gap, 1e-14);
        for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(p.normal[i], c.normal[i], 1e-14);
        // The point moved back by the gap along the normal lies on the surface.
        const vec3 on = walls::minus(c.x, walls::scaled(p.normal, p.gap));
        EXPECT_NEAR(walls::locate(c.w, on, c.t).gap, 0.0, 1e-14);
    }
}

struct Slide {
    std::string name;
    double mu;
    vec3 v;         // predicted velocity
    vec3 expected;  // velocity after the correction
};

TEST(WallGeometry, CorrectionLandsOnTheSurfaceAndObeysCoulomb) {
    // A floor z = 0; the node predicted 0.2 below it after a step of 0.1:
    // the normal change is 2, so friction takes at most 2 mu of the sliding.
    const std::vector<Slide> table = {
        {"frictionless: sliding kept", 0.0, {3.0, 0.0, -1.0}, {3.0, 0.0, 1.0}},
        {"slips: mu N taken", 0.5, {3.0, 0.0, -1.0}, {2.0, 0.0, 1.0}},
        {"slips along a skew direction", 0.5, {0.0, 4.0, -1.0}, {0.0, 3.0, 1.0}},
        {"sticks: the sliding stopped", 2.0, {3.0, 0.0, -1.0}, {0.0, 0.0, 1.0}},
    };
    for (const Slide& c : table) {
        SCOPED_TRACE(c.name);
        walls::wall w = plane({0.0, 0.0, 1.0});
        w.mu = c.mu;
        const walls::contactpoint p = walls::locate(w, {0.0, 0.0, -0.2}, 0.0);
        const vec3 dv = walls::correction(w, p, c.v, 0.1);
        for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(c.v[i] + dv[i], c.expected[i], 1e-12);
    }
    // Friction acts on the velocity relative to a moving wall: a node riding
    // on a belt at the belt's speed is not slowed.
    walls::wall belt = plane({0.0, 0.0, 1.0});
    belt.mu = 0.5;
    belt.velocity = {3.0, 0.0, 0.0};
    const vec3 dv =
        walls::correction(belt, walls::locate(belt, {0.0, 0.0, -0.2}, 0.0), {3.0, 0.0, -1.0}, 0.1);
    EXPECT_NEAR(dv[0], 0.0, 1e-12);
    // A node in front of the wall is left alone.
    const walls::wall floor = plane({0.0, 0.0, 1.0});
    const vec3 none =
        walls::correction(floor, walls::locate(floor, {0.0, 0.0, 0.1}, 0.0), {1.0, 0.0, -0.5}, 0.1);
    EXPECT_EQ(none, (vec3{0.0, 0.0, 0.0}));
}

}  // namespace
