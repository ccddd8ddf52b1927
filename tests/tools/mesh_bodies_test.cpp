// Models of several bodies: decks joined into one, and the warning for a
// mesh whose units disagree with its material data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/deck.hpp"
#include "mesh/bodies.hpp"
#include "mesh/generators.hpp"
#include "mesh/gmsh.hpp"
#include "rejected.hpp"
#include "testutil.hpp"

using formats::Deck;

namespace {

Deck box(int nx, int ny, int nz, double lx, double ly, double lz, formats::Material m) {
    Deck d;
    mesh::BoxParams p;
    p.nx = nx;
    p.ny = ny;
    p.nz = nz;
    p.lx = lx;
    p.ly = ly;
    p.lz = lz;
    mesh::make_box(p, d);
    d.materials = {std::move(m)};
    return d;
}

const formats::Material kSteel{"elas", {7800, 2.1e11, 0.3}};

}  // namespace

TEST(JoinDecks, BodiesKeepTheirRecordsRenumbered) {
    Deck plate = box(2, 2, 1, 0.02, 0.02, 0.01, kSteel);  // 18 nodes, 4 elements, 7 components
    plate.title = "plate";
    plate.endtime = 1e-5;
    plate.fixities = {{mesh::box_zmin, {0, 0, 1}}};
    plate.curves = {{formats::curve_option("engk"), 1}, {formats::curve_option("seqv"), 4}};
    Deck ball = box(1, 1, 1, 0.01, 0.01, 0.01, {"pla1", {2700, 7e10, 0.33, 2e8}});
    ball.endtime = 1.0;  // run control comes from the first deck
    ball.seos = {{1, 1, 5300, 1.34, 2.0}};
    ball.velocities = {{true, 1, {0, 0, -300}}};
    ball.loads = {{false, 3, {1, 0, 0}}};
    ball.timetable = std::vector<formats::TimePoint>{{0, 1}, {1, 1}};
    ball.curves = {{formats::curve_option("engk"), 1}, {formats::curve_option("vz"), 8}};
    Deck bare = ball;  // a deck whose components do not start with all of its nodes
    bare.components = {{1, 2}};
    bare.velocities = {{true, 1, {5, 0, 0}}};
    bare.loads.clear();
    bare.curves.clear();
    bare.seos.clear();

    const mesh::Joined j = mesh::join_decks({plate, ball, bare}, {"plate", "ball", "bare"},
                                            {{0, 0, 0}, {0.005, 0.005, 0.011}, {1, 0, 0}});
    const Deck& m = j.deck;
    EXPECT_EQ(*m.endtime, 1e-5);  // run control from the first deck
    EXPECT_EQ(m.nodes[26], (std::array<double, 3>{1, 0, 0}));
    EXPECT_EQ(m.seos[0].set, 2);
    EXPECT_EQ(m.elements[5].mat, 3);
    // Bodies: nodes, elements, sets, components (the first of them all of the body's nodes).
    const int want[3][8] = {
        {1, 18, 1, 4, 1, 1, 2, 8}, {19, 26, 5, 5, 2, 2, 9, 15}, {27, 34, 6, 6, 3, 3, 16, 17}};
    ASSERT_EQ(j.bodies.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
        const mesh::Body& b = j.bodies[k];
        const int got[8] = {b.first_node, b.last_node, b.first_element,   b.last_element,
                            b.first_set,  b.last_set,  b.first_component, b.last_component};
        for (size_t i = 0; i < 8; ++i) EXPECT_EQ(got[i], want[k][i]) << "body " << k + 1;
        const auto& all = m.components[static_cast<size_t>(b.first_component - 1)];
        EXPECT_EQ(all.size(), static_cast<size_t>(b.last_node - b.first_node + 1));
        EXPECT_EQ(all.front(), b.first_node);
    }
    EXPECT_EQ(m.components[16], (std::vector<int>{27, 28}));  // bare's component 1
    EXPECT_EQ(m.velocities[1].id, 17);
    EXPECT_EQ(m.loads[0].id, 18 + 3);
    ASSERT_TRUE(m.timetable);        // from the first deck that has one
    ASSERT_EQ(m.curves.size(), 3u);  // engk once
    EXPECT_EQ(m.curves[1].element, 4);
    EXPECT_EQ(m.curves[2].element, 18 + 8);
    EXPECT_TRUE(j.notes.empty());
    formats::check_deck(m);

    Deck process = plate;
    process.node_global.assign(18, 0);
    process.element_global = {1, 2, 3, 4};
    for (int n = 0; n < 18; ++n) process.node_global[static_cast<size_t>(n)] = n + 1;
    toolcases::expect_rejected(
        [&] {
            mesh::join_decks({plate, process}, {"a", "b"}, {{}, {}});
        },
        "b: a process deck (it has \"glob\"); join one-process decks", "process deck");
    Deck curvy = plate;
    curvy.curves.assign(6, {formats::curve_option("seqv"), 1});
    toolcases::expect_rejected(
        [&] {
            mesh::join_decks({curvy, curvy}, {"a", "b"}, {{}, {}});
        },
        "the joined deck would have 12 curves, at most 10 are allowed", "curves");
}

TEST(UnitWarning, MillimetreMeshWithSiMaterialsWarns) {
    Deck block;
    mesh::import_file(std::string(HEXDYN_SOURCE_DIR) + "/examples/gmsh/block.msh", block);
    block.materials = {kSteel};
    struct Case {
        const char* what;
        Deck deck;
        bool warns;
    };
    const Case cases[] = {
        {"example block, SI", block, false},
        {"box in metres, SI", box(4, 2, 1, 0.04, 0.02, 0.01, kSteel), false},
        {"box in mm, SI", box(4, 2, 1, 40, 20, 10, kSteel), true},
        {"box in mm, t/mm^3 and MPa", box(4, 2, 1, 40, 20, 10, {"elas", {7.8e-9, 2.1e5, 0.3}}),
         false},
        {"long fine bar, SI", box(400, 1, 1, 200, 0.5, 0.5, kSteel), true},
    };
    for (const Case& c : cases) EXPECT_EQ(!mesh::unit_warning(c.deck).empty(), c.warns) << c.what;
    EXPECT_EQ(mesh::unit_warning(cases[2].deck),
              "the mesh and the material data look like different units: every density is above "
              "100 (SI, kg/m^3), but the model is 40 m across and its step about 0.0019 s (a mesh "
              "in metres would stay within 100 m and 1e-4 s); a mesh drawn in millimetres needs "
              "scaling by 0.001 (gmsh --scale 0.001)");
}
