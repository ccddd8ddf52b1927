// Models of several bodies: decks joined into one, and the warning for a
// mesh whose units disagree with its material data.
#include <gtest/gtest.h>

#include <array>
#include <optional>
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
              "100 (SI, kg/m^3), but read in metres the model is 40 m across and weighs 6.24e+07 "
              "kg, its step about 0.0019 s (a model in metres within 100 m, a step within 1e-4 s, "
              "and a model over 100 t running 1000 steps or more, pass); a mesh drawn in "
              "millimetres needs scaling by 0.001 (gmsh --scale 0.001)");
}

// A millimetre mesh whose shortest edge is under half a millimetre has a step
// estimate under 1e-4 s and is less than 100 m across read in metres: its
// mass and its end time tell it from a model drawn in metres.
TEST(UnitWarning, FineMillimetreMeshIsToldByItsMassAndEndTime) {
    const formats::Material rubber{"elas", {1100, 5e7, 0.45}};
    auto timed = [](Deck d, double endtime) {
        d.endtime = endtime;
        return d;
    };
    struct Case {
        const char* what;
        Deck deck;
        bool warns;
    };
    const Case cases[] = {
        // A 40 x 40 x 0.8 mm plate, edges of 0.4 mm, a 0.1 ms run.
        {"plate in mm, SI", timed(box(4, 4, 2, 40, 40, 0.8, kSteel), 1e-4), true},
        {"plate in m, SI", timed(box(4, 4, 2, 0.04, 0.04, 0.0008, kSteel), 1e-4), false},
        {"plate in mm, t/mm^3 and MPa",
         timed(box(4, 4, 2, 40, 40, 0.8, {"elas", {7.8e-9, 2.1e5, 0.3}}), 1e-4), false},
        // Edges of 0.05 mm and a run of 1 ms: about 100 steps of the misread step.
        {"fine plate in mm, long run", timed(box(2, 2, 4, 20, 20, 0.2, kSteel), 1e-3), true},
        {"plate in mm, no end time", box(4, 4, 2, 40, 40, 0.8, kSteel), false},
        // Really 40 m across and 10 000 t: a run of thousands of steps passes.
        {"slab in m, long run", timed(box(4, 4, 2, 40, 40, 0.8, kSteel), 0.2), false},
        {"rubber pad in m", timed(box(4, 4, 2, 0.05, 0.05, 0.005, rubber), 1e-3), false},
        {"rubber pad in mm", timed(box(4, 4, 2, 50, 50, 5, rubber), 1e-3), true},
    };
    for (const Case& c : cases) EXPECT_EQ(!mesh::unit_warning(c.deck).empty(), c.warns) << c.what;
}

// Bodies that share no node are pieces of their own: without contact they
// pass through one another.
TEST(SeparatePieces, BodiesThatShareNoNodeAreWarnedWithoutContact) {
    const Deck one = box(2, 1, 1, 0.02, 0.01, 0.01, kSteel);
    const Deck two = mesh::join_decks({one, one}, {"a", "b"}, {{}, {0, 0, 0.02}}).deck;
    Deck touching = two;  // the second box moved onto the first: still no shared node
    for (size_t n = one.nodes.size(); n < touching.nodes.size(); ++n) touching.nodes[n][2] -= 0.01;
    Deck stacked = box(1, 1, 2, 0.01, 0.01, 0.02, kSteel);  // two sets, one piece
    stacked.materials.push_back(kSteel);
    stacked.elements[1].mat = 2;
    Deck with_contact = two;
    with_contact.contact = formats::Contact{};
    struct Case {
        const char* what;
        const Deck& deck;
        std::vector<std::vector<int>> sets;  // per piece
        bool warns;
    };
    const Case cases[] = {
        {"one box", one, {{1}}, false},
        {"two boxes apart", two, {{1}, {2}}, true},
        {"two boxes touching", touching, {{1}, {2}}, true},
        {"two sets sharing a face", stacked, {{1, 2}}, false},
        {"two boxes with contact", with_contact, {{1}, {2}}, false},
    };
    for (const Case& c : cases) {
        const std::vector<mesh::Piece> pieces = mesh::separate_pieces(c.deck);
        ASSERT_EQ(pieces.size(), c.sets.size()) << c.what;
        for (size_t k = 0; k < pieces.size(); ++k) EXPECT_EQ(pieces[k].sets, c.sets[k]) << c.what;
        EXPECT_EQ(!mesh::contact_warning(c.deck, "--contact").empty(), c.warns) << c.what;
    }
    // The warning lists the bodies by their lowest set, each by its volume
    // name where every set of it has one.
    Deck swapped = two;
    for (formats::Element& e : swapped.elements) e.mat = 3 - e.mat;
    const std::string w = mesh::contact_warning(swapped, "--contact", {"target", ""});
    EXPECT_NE(w.find("(2 elements of volume \"target\" (material set 1); 2 elements of material "
                     "set 2)"),
              std::string::npos)
        << w;
}

// A body's contact block goes with it into the joined deck, its material
// sets renumbered; contact between the bodies is added to it.
TEST(JoinDecks, ContactBlocksAreCarried) {
    const Deck plain = box(1, 1, 1, 0.01, 0.01, 0.01, kSteel);
    Deck two_sets = plain;  // sets 1 and 2, its own contact between set 2 and itself
    two_sets.materials.push_back(kSteel);
    two_sets.contact = formats::Contact{0.2, std::nullopt, {}, {{2, 2}}, {}, {}};
    Deck scaled = plain;
    scaled.contact = formats::Contact{0.3, std::nullopt, {}, {}, {}, {}};
    Deck rubbing = plain;
    rubbing.contact =
        formats::Contact{std::nullopt, formats::Friction{0.3, 0.2, 0}, {}, {}, {}, {}};
    Deck rubbing_more = plain;
    rubbing_more.contact =
        formats::Contact{std::nullopt, formats::Friction{0.5, 0.2, 0}, {}, {}, {}, {}};

    using Pairs = std::vector<std::array<int, 2>>;
    struct Case {
        const char* what;
        std::vector<Deck> decks;
        bool between;
        bool has_contact;
        Pairs pairs;
        std::optional<double> scale;
    };
    const Case cases[] = {
        {"plain bodies, contact between", {plain, plain}, true, true, {}, std::nullopt},
        {"plain bodies, no contact", {plain, plain}, false, false, {}, std::nullopt},
        {"scaled body, contact between", {scaled, plain}, true, true, {}, 0.3},
        {"scaled body alone", {plain, scaled}, false, true, {{2, 2}}, 0.3},
        {"restricted body, contact between",
         {plain, two_sets},
         true,
         true,
         {{1, 1}, {1, 2}, {1, 3}, {3, 3}},
         0.2},
        {"restricted body alone", {two_sets, plain}, false, true, {{2, 2}}, 0.2},
    };
    for (const Case& c : cases) {
        const Deck m = mesh::join_decks(c.decks, {"a", "b"}, {{}, {0, 0, 0.02}}, c.between).deck;
        ASSERT_EQ(m.contact.has_value(), c.has_contact) << c.what;
        if (!m.contact) continue;
        EXPECT_EQ(m.contact->pairs, c.pairs) << c.what;
        EXPECT_TRUE(m.contact->parts.empty()) << c.what;
        EXPECT_EQ(m.contact->scale, c.scale) << c.what;
        formats::check_deck(m);
    }

    ASSERT_TRUE(mesh::join_decks({rubbing, rubbing}, {"a", "b"}, {{}, {}}).deck.contact);

    const std::pair<std::vector<Deck>, std::string> refused[] = {
        {{scaled, two_sets},
         "b: its contact penalty scale \"scal 0.2\" differs from \"scal 0.3\" of a; the joined "
         "deck has one, so give the decks the same"},
        {{rubbing, rubbing_more},
         "b: its contact friction \"fric 0.5 0.2 0\" differs from \"fric 0.3 0.2 0\" of a"},
    };
    for (const auto& c : refused)
        toolcases::expect_rejected(
            [&] {
                mesh::join_decks(c.first, {"a", "b"}, {{}, {}}, true);
            },
            c.second, c.second);
}

// Driven components, constraint forces, time functions and walls follow their
// body: components shifted, each body's functions after those of the bodies
// before it, its loads and drives naming them by their new numbers.
TEST(JoinDecks, MotionRecordsAndWallsFollowTheirBody) {
    Deck one = box(1, 1, 1, 0.01, 0.01, 0.01, kSteel);  // 8 nodes, 7 components
    one.functions = {{2, {{0, 1}, {1, 1}}}};
    one.drives = {{mesh::box_zmin, 3, false, 2, -1.0}};
    one.reactions = {{mesh::box_zmin, mesh::box_zmin}};
    one.loads = {{true, 1, {1, 0, 0}, 2}};
    formats::Wall w;
    w.direction = {0, 0, 1};
    w.comp = 1;
    one.walls = std::vector<formats::Wall>{w};
    const Deck m = mesh::join_decks({one, one}, {"a", "b"}, {{}, {0, 0, 0.02}}, true).deck;
    ASSERT_EQ(m.functions.size(), 2U);
    EXPECT_EQ(m.functions[1].func, 3);
    ASSERT_EQ(m.drives.size(), 2U);
    ASSERT_EQ(m.reactions.size(), 2U);
    ASSERT_EQ(m.loads.size(), 2U);
    ASSERT_TRUE(m.walls && m.walls->size() == 2U);
    // The second body's components start after the joined deck's all-nodes
    // component and the first body's seven.
    const int shift = 7;
    EXPECT_EQ(m.drives[1].comp, m.drives[0].comp + shift);
    EXPECT_EQ(m.drives[1].func, 3);
    EXPECT_EQ(m.reactions[1].comp, m.drives[1].comp);
    EXPECT_EQ(m.reactions[1].name, m.reactions[1].comp);
    EXPECT_EQ(m.loads[0].func, 2);
    EXPECT_EQ(m.loads[1].func, 3);
    EXPECT_EQ(*(*m.walls)[1].comp, *(*m.walls)[0].comp + shift);
    // The joined deck reads back: every number within its range.
    EXPECT_NO_THROW(formats::check_deck(m));
}
