// Structured meshes of a box and a cylinder, and the orientation check the
// mesh tool applies to every element.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>
#include <string>

#include "formats/deck.hpp"
#include "mesh/generators.hpp"
#include "mesh/orientation.hpp"
#include "mesh_checks.hpp"
#include "testutil.hpp"

using formats::Deck;
using namespace meshchecks;

TEST(Orientation, OrientationOfTheUnitCube) {
    double cube[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                         {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    EXPECT_DOUBLE_EQ(mesh::signed_volume(cube), 1.0);
    double mirrored[8][3];
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) mirrored[k][j] = cube[(k + 4) % 8][j];  // top face first
    EXPECT_DOUBLE_EQ(mesh::signed_volume(mirrored), -1.0);
    double flat[8][3];
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j) flat[k][j] = j == 2 ? 0.0 : cube[k][j];
    EXPECT_EQ(mesh::signed_volume(flat), 0.0);
}

TEST(MeshBox, CountsVolumeOrientationAndFaces) {
    struct Case {
        int nx, ny, nz;
        double lx, ly, lz;
        std::array<double, 3> origin;
    };
    const Case cases[] = {
        {1, 1, 1, 1.0, 1.0, 1.0, {0, 0, 0}},
        {4, 3, 2, 0.04, 0.03, 0.01, {-0.02, 1.0, 5.0}},
        {1, 7, 3, 2.0, 0.1, 0.3, {0, 0, -0.3}},
        {10, 10, 10, 1.0, 1.0, 1.0, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        const std::string what =
            std::to_string(c.nx) + "x" + std::to_string(c.ny) + "x" + std::to_string(c.nz);
        mesh::BoxParams s;
        s.nx = c.nx;
        s.ny = c.ny;
        s.nz = c.nz;
        s.lx = c.lx;
        s.ly = c.ly;
        s.lz = c.lz;
        s.origin = c.origin;
        Deck d;
        mesh::make_box(s, d);
        EXPECT_EQ(d.nelements(), c.nx * c.ny * c.nz) << what;
        EXPECT_EQ(d.nnodes(), (c.nx + 1) * (c.ny + 1) * (c.nz + 1)) << what;
        check_connectivity(d, what);
        EXPECT_NEAR(checked_volume(d, what), c.lx * c.ly * c.lz, 1e-12 * c.lx * c.ly * c.lz)
            << what;
        ASSERT_EQ(d.ncomponents(), 7) << what;
        // Each face component holds exactly the nodes on its plane.
        const double lo[3] = {c.origin[0], c.origin[1], c.origin[2]};
        const double hi[3] = {c.origin[0] + c.lx, c.origin[1] + c.ly, c.origin[2] + c.lz};
        struct Face {
            int comp, axis;
            bool high;
        };
        const Face faces[] = {{2, 2, false}, {3, 2, true},  {4, 0, false},
                              {5, 0, true},  {6, 1, false}, {7, 1, true}};
        EXPECT_EQ(d.components[0].size(), static_cast<size_t>(d.nnodes())) << what;
        for (const Face& f : faces) {
            std::set<int> want;
            for (int n = 1; n <= d.nnodes(); ++n)
                if (d.nodes[static_cast<size_t>(n - 1)][static_cast<size_t>(f.axis)] ==
                    (f.high ? hi[f.axis] : lo[f.axis]))
                    want.insert(n);
            EXPECT_EQ(as_set(d.components[static_cast<size_t>(f.comp - 1)]), want)
                << what << " component " << f.comp;
            const int n_other1 = (f.axis == 0 ? c.ny : c.nx) + 1,
                      n_other2 = (f.axis == 2 ? c.ny : c.nz) + 1;
            EXPECT_EQ(want.size(), static_cast<size_t>(n_other1 * n_other2))
                << what << " component " << f.comp;
        }
    }
}

TEST(MeshCylinder, CountsVolumeOrientationAndSurfaces) {
    struct Case {
        double r, l;
        int ncore, nlayers, nalong;
    };
    const Case cases[] = {
        {1.0, 1.0, 1, 1, 1}, {0.01, 0.03, 2, 2, 3}, {0.5, 2.0, 4, 3, 5},
        {1.0, 0.1, 8, 1, 1}, {2.0, 1.0, 3, 8, 2},
    };
    for (const Case& c : cases) {
        const std::string what = "ncore " + std::to_string(c.ncore) + " nlayers " +
                                 std::to_string(c.nlayers) + " nalong " + std::to_string(c.nalong);
        mesh::CylinderParams s;
        s.radius = c.r;
        s.length = c.l;
        s.ncore = c.ncore;
        s.nlayers = c.nlayers;
        s.nalong = c.nalong;
        Deck d;
        mesh::make_cylinder(s, d);
        const int quads = c.ncore * c.ncore + 4 * c.ncore * c.nlayers;
        const int points = (c.ncore + 1) * (c.ncore + 1) + 4 * c.ncore * c.nlayers;
        EXPECT_EQ(d.nelements(), quads * c.nalong) << what;
        EXPECT_EQ(d.nnodes(), points * (c.nalong + 1)) << what;
        check_connectivity(d, what);
        // The section is the regular 4 ncore-gon inscribed in the circle.
        const int m = 4 * c.ncore;
        const double polygon = 0.5 * m * c.r * c.r * std::sin(2.0 * std::numbers::pi / m);
        const double vol = checked_volume(d, what);
        EXPECT_NEAR(vol, polygon * c.l, 1e-12 * polygon * c.l) << what;
        ASSERT_EQ(d.ncomponents(), 4) << what;
        EXPECT_EQ(d.components[0].size(), static_cast<size_t>(d.nnodes())) << what;
        std::set<int> bottom, top, lateral;
        for (int n = 1; n <= d.nnodes(); ++n) {
            const auto& x = d.nodes[static_cast<size_t>(n - 1)];
            if (x[2] == 0.0) bottom.insert(n);
            if (x[2] == c.l) top.insert(n);
            if (std::fabs(std::hypot(x[0], x[1]) - c.r) < 1e-12 * c.r) lateral.insert(n);
        }
        EXPECT_EQ(as_set(d.components[1]), bottom) << what;
        EXPECT_EQ(as_set(d.components[2]), top) << what;
        EXPECT_EQ(as_set(d.components[3]), lateral) << what;
        EXPECT_EQ(lateral.size(), static_cast<size_t>(m * (c.nalong + 1))) << what;
    }
    // A finer section approaches the circle.
    mesh::CylinderParams fine;
    fine.ncore = 16;
    fine.nlayers = 4;
    fine.nalong = 1;
    Deck d;
    mesh::make_cylinder(fine, d);
    EXPECT_NEAR(checked_volume(d, "fine"), std::numbers::pi, 2e-3 * std::numbers::pi);
}

TEST(MeshParams, RejectsNonPositiveSizes) {
    Deck d;
    mesh::BoxParams b;
    b.nx = 0;
    EXPECT_THROW(mesh::make_box(b, d), formats::Error);
    b = {};
    b.lz = -1.0;
    EXPECT_THROW(mesh::make_box(b, d), formats::Error);
    b = {};
    b.nx = b.ny = b.nz = 2000;  // 8e9 elements
    EXPECT_THROW(mesh::make_box(b, d), formats::Error);
    mesh::CylinderParams c;
    c.nlayers = 0;
    EXPECT_THROW(mesh::make_cylinder(c, d), formats::Error);
    c = {};
    c.radius = 0.0;
    EXPECT_THROW(mesh::make_cylinder(c, d), formats::Error);
}

// The tube's section is the ring between the squares of sides C - t and
// C + t, 4 C t exactly whatever the divisions; its end and wall components
// hold exactly the nodes on those surfaces.
TEST(MeshTube, CountsVolumeOrientationAndSurfaces) {
    struct Case {
        double side, wall, length;
        int nwall, nside, nalong;
    };
    const Case cases[] = {
        {0.02, 0.001, 0.05, 3, 20, 50}, {1.0, 0.5, 2.0, 1, 1, 1}, {0.04, 0.002, 0.01, 2, 3, 4}};
    for (const Case& c : cases) {
        const std::string what = "nwall " + std::to_string(c.nwall) + " nside " +
                                 std::to_string(c.nside) + " nalong " + std::to_string(c.nalong);
        mesh::TubeParams s;
        s.side = c.side;
        s.thickness = c.wall;
        s.length = c.length;
        s.nwall = c.nwall;
        s.nside = c.nside;
        s.nalong = c.nalong;
        Deck d;
        mesh::make_tube(s, d);
        const int ring = 4 * c.nside;
        EXPECT_EQ(d.nelements(), ring * c.nwall * c.nalong) << what;
        EXPECT_EQ(d.nnodes(), ring * (c.nwall + 1) * (c.nalong + 1)) << what;
        check_connectivity(d, what);
        const double vol = 4.0 * c.side * c.wall * c.length;
        EXPECT_NEAR(checked_volume(d, what), vol, 1e-12 * vol) << what;
        ASSERT_EQ(d.ncomponents(), 5) << what;
        const double out = 0.5 * (c.side + c.wall), in = 0.5 * (c.side - c.wall);
        std::set<int> bottom, top, outer, inner;
        for (int n = 1; n <= d.nnodes(); ++n) {
            const auto& x = d.nodes[static_cast<size_t>(n - 1)];
            const double h = std::max(std::fabs(x[0]), std::fabs(x[1]));
            if (x[2] == 0.0) bottom.insert(n);
            if (x[2] == c.length) top.insert(n);
            if (std::fabs(h - out) < 1e-12 * c.side) outer.insert(n);
            if (std::fabs(h - in) < 1e-12 * c.side) inner.insert(n);
        }
        EXPECT_EQ(as_set(d.components[1]), bottom) << what;
        EXPECT_EQ(as_set(d.components[2]), top) << what;
        EXPECT_EQ(as_set(d.components[3]), outer) << what;
        EXPECT_EQ(as_set(d.components[4]), inner) << what;
        EXPECT_EQ(outer.size(), static_cast<size_t>(ring * (c.nalong + 1))) << what;
    }
    mesh::TubeParams thick;
    thick.side = 0.01;
    thick.thickness = 0.01;
    EXPECT_THROW(mesh::check_tube(thick), formats::Error);
}
