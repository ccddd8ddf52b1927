// The deck model: reading with the solver's lexical rules, writing, and the
// round trip between the two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "formats/deck.hpp"
#include "rejected.hpp"
#include "testutil.hpp"

using formats::Deck;
using toolcases::expect_rejected;

namespace {

// Eight nodes of a unit cube in the solver's corner order.
const char* const kCubeNodes =
    "1 1 0 0 0\n2 1 1 0 0\n3 1 1 1 0\n4 1 0 1 0\n"
    "5 1 0 0 1\n6 1 1 0 1\n7 1 1 1 1\n8 1 0 1 1\n";

std::string cube_deck(const std::string& extra) {
    return std::string("sovr single cube\nnbmp 8\nnbel 1\nnmat 1\nncom 1\n") +
           "mate\n1 elas 7800.0 2.1e11 0.3\npart\n" + kCubeNodes + "elem\n1 1 1 2 3 4 5 6 7 8\n" +
           extra + "endi\n";
}

std::string error_of(const std::string& text) {
    try {
        formats::parse_deck(text, "deck");
    } catch (const formats::Error& e) { return e.what(); }
    return "";
}

}  // namespace

TEST(DeckRead, CubeDeckWithEverySection) {
    const std::string text =
        "sovr Impact test, case 2 ! comment\n"
        "NBMP 8  nbel 1 nmat 2\n"
        "ncom 2\n"
        "ENDTIME 1.0e-3\toutt 1.0d-4\n"
        "repo 50 dtsc 0.5 hour 2 0.05 jaum OFF rigi -3 0.0\n"
        "time 3\n0.0 0.0\n1.0e-4, 1.0\n1.0 1.0\n"
        "mate\n"
        "1 john-cook 8930 1.17e11 0.35 9.0e7 2.92e8 0.31 0.025\n"
        "2 pla2 2700 7.0e10 0.33 2.5e8 1.0e9\n"
        "seos 1 1 4570 1.49 1.93\n"
        "part\n"
        "1 1 0 0 0\n2 1 1 0 0\n3 1 1 1 0\n4 1 0 1 0\n5 1 0 0 1\n6 1 1 0 1\n7 1 1 1 1\n"
        "5 2 0 0 1\n6,2,1,0,1\n7 , 2 , 1 , 1 , 1\n8 1 0 1 1\n"
        "part 8 2\n 0 1 1\n"
        "elem\n1 2 1 2 3 4 5 6 7 8\n"
        "load\ncomp 2 0.0 0.0 -500.0\nnode 3 0.0 10.0 0.0\nendl\n"
        "velo\ncomp 1 0 0 -10 endv\n"
        "curv seqv 1\ncurv engk\n"
        "endi\n"
        "anything after endi is not read\n";
    Deck d = formats::parse_deck(text, "deck");
    ASSERT_TRUE(d.title);
    EXPECT_EQ(*d.title, "Impact test, case 2");
    EXPECT_EQ(d.nnodes(), 8);
    EXPECT_EQ(d.nelements(), 1);
    ASSERT_EQ(d.materials.size(), 2u);
    EXPECT_EQ(d.materials[0].model, "john");
    EXPECT_EQ(d.materials[0].reals.size(), 7u);
    EXPECT_EQ(d.materials[1].model, "pla2");
    EXPECT_EQ(d.materials[1].reals[4], static_cast<double>(1.0e9f));
    EXPECT_EQ(*d.endtime, static_cast<double>(1.0e-3f));
    EXPECT_EQ(*d.outtime, static_cast<double>(1.0e-4f));
    EXPECT_EQ(*d.report, 50);
    EXPECT_EQ(*d.dtscale, 0.5);
    EXPECT_EQ(d.hourglass->method, 2);
    EXPECT_EQ(d.hourglass->coef, static_cast<double>(0.05f));
    EXPECT_FALSE(*d.jaumann);
    EXPECT_EQ(d.rigid->dir, -3);
    ASSERT_EQ(d.timetable->size(), 3u);
    EXPECT_EQ((*d.timetable)[1].time, static_cast<double>(1.0e-4f));
    ASSERT_EQ(d.seos.size(), 1u);
    EXPECT_EQ(d.seos[0].c0, 4570.0);
    // Nodes 5..8 are in both components: a node record repeats with the other
    // component; the highest node ends its block, so its second record needs
    // a block of its own (here spread over two lines).
    EXPECT_EQ(d.components[0], (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(d.components[1], (std::vector<int>{5, 6, 7, 8}));
    EXPECT_EQ(d.elements[0].mat, 2);
    ASSERT_EQ(d.loads.size(), 2u);
    EXPECT_TRUE(d.loads[0].comp);
    EXPECT_FALSE(d.loads[1].comp);
    EXPECT_EQ(d.loads[1].id, 3);
    ASSERT_EQ(d.velocities.size(), 1u);
    ASSERT_EQ(d.curves.size(), 2u);
    EXPECT_EQ(d.curves[0].option, 1);
    EXPECT_EQ(d.curves[1].option, 6);
    EXPECT_EQ(d.curves[1].element, 1);
}

TEST(DeckRead, ErrorsNameTheLine) {
    struct Case {
        std::string text;
        std::string expect;  // part of the message
    };
    const Case cases[] = {
        {"nbmp 8\nnbmq 3\nendi\n", "deck:2: unknown keyword \"nbmq\""},
        {"nbmp 8\n\n! comment\nendt abc\nendi\n",
         "deck:4: expected a real number for end time, found \"abc\""},
        {"nbmp 8\nrepo 1.5\nendi\n", "deck:2: expected an integer"},
        {"nbmp 8\nendt +1.0\nendi\n", "deck:2: expected a real number"},
        {"nbmp 8\nendt 1.0\n", "the deck ends before \"endi\""},
        {"part\n1 0 0 0 0\nendi\n", "deck:1: \"part\" before \"nbmp\""},
        {"nbmp 2\nncom 1\npart\n1 2 0 0 0\n2 0 1 0 0\nendi\n",
         "deck:4: component 2 greater than ncom"},
        {"nbmp 2\npart\n1 0 0 0 0\nendi\n",
         "deck:4: expected an integer for node number, found \"endi\""},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\nendi\n", "deck:1: more than 15 words"},
        {"mate\n1 elas 1 1 0.3\nendi\n", "deck:1: \"mate\" before \"nmat\""},
        {"nmat 1\nmate\n1 wood 1 1 0.3\nendi\n", "deck:3: expected a material model (elas"},
        {"nmat 1\nseos 1 1 4570 1.49 1.93\nendi\n", "before its \"mate\" record"},
        {cube_deck("curv seqv 2\n"), "names element 2, outside 1..1"},
        {cube_deck("curv vy 9\n"), "curve 1 (vy) names node 9, outside 1..8"},
        {cube_deck("curv stress 1\n"), "deck:19: expected a curve variable (seqv"},
        {cube_deck("load\nnode 9 0 0 1\nendl\n"),
         "deck:20: node number 9 is outside the valid range 1..8"},
        {cube_deck("load\ncomp 2 0 0 1\nendl\n"),
         "deck:20: component number 2 is outside the valid range 1..1"},
        {cube_deck("velo\nnode 1 0 0 1\nfoo\n"),
         "deck:21: expected \"node\", \"comp\" or the end of the velo block, found \"foo\""},
        {"sovr x\nnbmp 8\nnbel 2\nnmat 1\nncom 1\nmate\n1 elas 1 1 0.3\npart\n" +
             std::string(kCubeNodes) + "elem\n2 1 1 2 3 4 5 6 7 8\n",
         "element 1 was never given"},
        {"nbmp 8\nnbel 1\nnmat 1\nmate\n1 elas 1 1 0.3\npart\n1 0 0 0 0\n8 0 1 1 1\nelem\n1 1 1 2 "
         "3 4 5 6 7 8\n",
         "node 2 of element 1 has no coordinates"},
        {"nbmp 8\nendt 12345678901234567890123\nendi\n", "number longer than 20 characters"},
        // Records the solver refuses, refused when read.
        {"nbmp 2\npart\n1 0 0 0 0\n3 0 0 0 0\nendi\n",
         "deck:4: node number 3 is outside the valid range 1..2"},
        {"nmat 1\nmate\n1 elas 7800 2.1e11 0.3\nseos 1 2 4570 1.49 1.93\nendi\n",
         "deck:4: equation of state type 2 (only 1 exists)"},
        {"nmat 1\nmate\n1 elas 7800 2.1e11 0.6\nendi\n",
         "deck:3: material set 1: Poisson's ratio must be above -1 and below 0.5, got 0.6"},
        {"sovr x\nnbmp 8\nnbel 1\nnmat 1\nncom 1\nmate\n1 elas 1 1 0.3\npart\n" +
             std::string(kCubeNodes) + "elem\n1 1 1 2 3 4 5 6 3 8\n",
         "deck:18: element 1 names node 3 twice (corners 3 and 7)"},
        // Counts beyond what the text can hold, refused before they are allocated.
        {"sovr x\nnbmp 500000000\nendi\n",
         "deck:2: node count 500000000 is more than the rest of the deck can hold (20 bytes from "
         "this line; a record takes at least 10)"},
        {"nbmp 8\nnbel 2147483647\nendi\n", "deck:2: element count 2147483647 is more than"},
        {"nmat 100000\nendi\n", "deck:1: material count 100000 is more than"},
        {"nbmp 8\nncom 2000000000\nendi\n", "deck:2: component count 2000000000 is more than"},
        {"time 1000000000 0 0\nendi\n", "deck:1: number of time points 1000000000 is more than"},
        {"nbmp 8\nnbmp 8\nendi\n", "\"nbmp\" given a second time"},
        {"nbmp 8 ncom 1\nvelo comp 1 0 0 1 endv\npart\n" + std::string(kCubeNodes) + "endi\n",
         "deck:2: a \"comp\" record of \"load\" or \"velo\" comes before the \"part\" block"},
    };
    for (const Case& c : cases) {
        const std::string msg = error_of(c.text);
        EXPECT_NE(msg.find(c.expect), std::string::npos) << "deck:\n"
                                                         << c.text << "\nmessage: " << msg;
    }
}

TEST(DeckRead, WordSplittingFollowsTheSolver) {
    // Each of these spellings of the same time table must give the same values.
    const char* const tables[] = {
        "time 3 0 1 2 3 4 5",
        "time 3,0,1,2,3,4,5",
        "time 3 , 0 , 1 , 2 , 3 , 4 , 5",
        "time 3,  0,  1, 2, 3, 4, 5",
        "time\t3\t0\t1\n2 3\n\n! a comment line\n4 5",
        "TIME 3 0 1 2 3 4 5,",  // a trailing comma stays with the last word and ends the number
    };
    for (const char* t : tables) {
        Deck d = formats::parse_deck(std::string(t) + "\nendi\n", "deck");
        ASSERT_TRUE(d.timetable) << t;
        ASSERT_EQ(d.timetable->size(), 3u) << t;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ((*d.timetable)[static_cast<size_t>(i)].time, 2.0 * i) << t;
            EXPECT_EQ((*d.timetable)[static_cast<size_t>(i)].value, 2.0 * i + 1) << t;
        }
    }
    // Two adjacent commas enclose an empty word, which is not a number.
    EXPECT_NE(error_of("time 2 0,,1 2 3\nendi\n").find("found \"\""), std::string::npos);
}

// The title is the rest of its line as written: the blank compaction that
// splits the words must not reach it, and it reads back the same.
TEST(DeckRead, TitleIsTheLineAsWritten) {
    const std::pair<const char*, const char*> cases[] = {
        {"sovr Taylor impact, OFHC\n", "Taylor impact, OFHC"},
        {"sovr  a  ,  b,c , d  ! note\n", "a  ,  b,c , d"},
        {"  SOVR,\tx,\ty\t \r\n", "x, y"},
        {"sovr\n", ""},
    };
    for (const auto& [line, title] : cases) {
        SCOPED_TRACE(line);
        const Deck d = formats::parse_deck(std::string(line) + "endi\n", "deck");
        ASSERT_TRUE(d.title);
        EXPECT_EQ(*d.title, title);
        EXPECT_EQ(*formats::parse_deck(formats::deck_text(d), "written").title, title);
    }
}

TEST(DeckWrite, RoundTripKeepsEveryRecord) {
    Deck d;
    d.title = "round trip";
    d.endtime = 1.0e-3;
    d.outtime = 1.0e-4;
    d.report = 25;
    d.dtscale = 0.8;
    d.hourglass = formats::Hourglass{2, 0.05};
    d.jaumann = false;
    d.midstep = true;
    d.vonmises = false;
    d.corrected = true;
    d.solvermath = false;
    d.rigid = formats::RigidPlane{-3, 0.1};
    d.timetable = std::vector<formats::TimePoint>{{0.0, 0.0}, {1e-4, 1.0}, {1.0, 1.0}};
    d.materials = {{"pla2", {2700, 7.0e10, 0.33, 2.5e8, 1.0e9}}, {"elas", {7800, 2.1e11, 0.3}}};
    d.seos = {{2, 1, 4570, 1.49, 1.93}};
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) d.nodes.push_back({0.1 * i, 0.1 * j, 0.1 * k});
    d.nodes.push_back({5.0, 5.0, 5.0});  // node 9: in no element
    // node 8, the highest node of an element... and node 9 in three components
    d.components = {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {5, 6, 7, 8, 9}, {9, 1}};
    d.elements = {{2, {1, 2, 4, 3, 5, 6, 8, 7}}};
    d.loads = {{true, 2, {0, 0, -500}}, {false, 3, {0, 10, 0}}};
    d.velocities = {{true, 1, {0, 0, -10}}};
    d.curves = {{1, 1}, {7, 1}};

    const std::string text = formats::deck_text(d);
    Deck r = formats::parse_deck(text, "written");
    EXPECT_EQ(*r.title, *d.title);
    EXPECT_EQ(*r.endtime, formats::to_single(*d.endtime));
    EXPECT_EQ(*r.outtime, formats::to_single(*d.outtime));
    EXPECT_EQ(*r.report, 25);
    EXPECT_EQ(*r.dtscale, formats::to_single(0.8));
    EXPECT_EQ(r.hourglass->method, 2);
    EXPECT_FALSE(*r.jaumann);
    EXPECT_TRUE(*r.midstep);
    EXPECT_FALSE(*r.vonmises);
    EXPECT_FALSE(r.consistent.has_value());
    EXPECT_TRUE(*r.corrected);
    ASSERT_TRUE(r.solvermath.has_value());
    EXPECT_FALSE(*r.solvermath);
    EXPECT_NE(text.find("\nmath off\n"), std::string::npos);
    EXPECT_EQ(r.rigid->dir, -3);
    EXPECT_EQ(r.rigid->coord, formats::to_single(0.1));
    ASSERT_EQ(r.timetable->size(), 3u);
    ASSERT_EQ(r.materials.size(), 2u);
    EXPECT_EQ(r.materials[0].model, "pla2");
    EXPECT_EQ(r.materials[1].reals[1], formats::to_single(2.1e11));
    ASSERT_EQ(r.seos.size(), 1u);
    EXPECT_EQ(r.seos[0].set, 2);
    ASSERT_EQ(r.nnodes(), 9);
    for (int n = 0; n < 9; ++n)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(r.nodes[static_cast<size_t>(n)][static_cast<size_t>(j)],
                      formats::to_single(d.nodes[static_cast<size_t>(n)][static_cast<size_t>(j)]));
    // Memberships survive, node 9 (the last node) in all three components.
    EXPECT_EQ(formats::node_components(r), formats::node_components(d));
    EXPECT_EQ(r.elements[0].node, d.elements[0].node);
    EXPECT_EQ(r.elements[0].mat, 2);
    ASSERT_EQ(r.loads.size(), 2u);
    EXPECT_EQ(r.loads[1].v[1], 10.0);
    ASSERT_EQ(r.curves.size(), 2u);
    EXPECT_EQ(r.curves[1].option, 7);
    // Writing again gives the same text.
    EXPECT_EQ(formats::deck_text(r), text);
}

TEST(DeckWrite, RejectsWhatTheSolverCouldNotRead) {
    auto base = [] {
        Deck d;
        d.materials = {{"elas", {7800, 2.1e11, 0.3}}};
        for (int i = 0; i < 8; ++i)
            d.nodes.push_back({double(i & 1), double((i >> 1) & 1), double(i >> 2)});
        d.elements = {{1, {1, 2, 4, 3, 5, 6, 8, 7}}};
        return d;
    };
    struct Case {
        const char* name;
        void (*change)(Deck&);
        const char* expect;
    };
    const Case cases[] = {
        {"title with a comment mark", [](Deck& d) { d.title = "a ! b"; }, "title"},
        {"node out of range", [](Deck& d) { d.elements[0].node[3] = 9; }, "uses node 9"},
        {"material out of range", [](Deck& d) { d.elements[0].mat = 2; }, "material set 2"},
        {"infinite coordinate", [](Deck& d) { d.nodes[2][0] = INFINITY; }, "coordinate of node 3"},
        {"beyond single precision", [](Deck& d) { d.endtime = 1e39; }, "end time"},
        {"wrong constant count", [](Deck& d) { d.materials[0].model = "pla1"; },
         "needs 4 constants"},
        {"unknown component in a load",
         [](Deck& d) {
             d.loads = {{true, 1, {0, 0, 1}}};
         },
         "component 1"},
        {"curve element out of range",
         [](Deck& d) {
             d.curves = {{1, 2}};
         },
         "names element 2"},
        {"temperature curve element out of range",
         [](Deck& d) {
             d.curves = {{9, 2}};
         },
         "curve temp names element 2"},
        {"node curve out of range",
         [](Deck& d) {
             d.curves = {{10, 0}};
         },
         "curve dx names node 0, outside 1.."},
        {"jcth melting below room temperature",
         [](Deck& d) {
             d.materials = {
                 {"jcth",
                  {7850, 2e11, 0.3, 7.92e8, 5.1e8, 0.26, 0.014, 1.03, 200, 293, 477, 0.9, 1}}};
         },
         "jcth needs Tmelt above Troom"},
        {"corner node repeated", [](Deck& d) { d.elements[0].node[6] = 4; },
         "element 1 names node 4 twice (corners 3 and 7)"},
        {"material constant the solver refuses", [](Deck& d) { d.materials[0].reals[2] = 0.5; },
         "material set 1: Poisson's ratio must be above -1 and below 0.5, got 0.5"},
        {"bulk coefficient the solver refuses",
         [](Deck& d) {
             d.bulk = formats::Bulk{0.06, 12.0};
         },
         "bulk viscosity Q2 12 is outside the valid range 0..10"},
        {"eleven curves",
         [](Deck& d) {
             d.curves.assign(11, {6, 1});
         },
         "more than 10 curves"},
        {"node twice in a component",
         [](Deck& d) {
             d.components = {{1, 1}};
         },
         "twice"},
        {"contact part record of 15 sets",
         [](Deck& d) {
             d.contact = formats::Contact{};
             d.contact->parts = {std::vector<int>(15, 1)};
         },
         "a contact \"part\" record holds 1..14 material sets, not 15"},
        {"contact pair given twice",
         [](Deck& d) {
             d.contact = formats::Contact{};
             d.contact->pairs = {{1, 1}, {1, 1}};
         },
         "pair 1 1 given twice"},
        {"contact pair outside the sets",
         [](Deck& d) {
             d.contact = formats::Contact{};
             d.contact->pairs = {{1, 2}};
         },
         "contact material set 2 is outside the valid range 1..1"},
        {"global numbers of too few nodes",
         [](Deck& d) {
             d.node_global = {1, 2, 3};
             d.element_global = {1};
         },
         "glob holds 3 node and 1 element numbers for 8 nodes and 1 elements"},
        {"failure criterion the table does not hold",
         [](Deck& d) {
             d.failure = {{9, 1, {0.5}}};
         },
         "failure criterion number 9 is outside the valid range 1..7"},
        {"step fraction with a set",
         [](Deck& d) {
             d.failure = {{5, 1, {0.1}}};
         },
         "fail: step names no material set, found set 1"},
        {"Johnson-Cook damage of an elastic set",
         [](Deck& d) {
             d.failure = {{1, 1, {0.05, 3.44, -2.12, 0.002, 0.61}}};
         },
         "fail: Johnson-Cook damage (jc) of material set 1 needs a Johnson-Cook material (john or "
         "jcth), the set is elas"},
    };
    for (const Case& c : cases) {
        Deck d = base();
        c.change(d);
        expect_rejected([&] { formats::deck_text(d); }, c.expect, c.name);
    }
}

TEST(DeckWrite, RealsReadBackAsTheSameSingle) {
    const double values[] = {0.0,
                             -0.0,
                             0.1,
                             1.0 / 3.0,
                             2.1e11,
                             -7.5e-8,
                             1.0e-40,
                             3.4e38,
                             -3.4028234e38,
                             123456789.0,
                             1.17549435e-38,
                             16777217.0,
                             0.30000001192092896};
    for (double v : values) {
        std::string s;
        formats::append_real(s, v);
        EXPECT_LE(s.size(), 20u) << s;
        EXPECT_TRUE(s[0] == '-' || (s[0] >= '0' && s[0] <= '9')) << s;
        Deck d = formats::parse_deck("endt " + s + "\nendi\n", "deck");
        EXPECT_EQ(*d.endtime, formats::to_single(v)) << s;
        EXPECT_EQ(std::signbit(*d.endtime), std::signbit(v)) << s;
    }
}

TEST(DeckModel, RecordsAreAssignedInOrder) {
    Deck d = formats::parse_deck(
        cube_deck("load\ncomp 1 0.0 0.0 -500.0\nnode 3 0.0 10.0 0.0\nendl\n"), "deck");
    auto f = formats::apply_records(d, d.loads);
    ASSERT_EQ(f.size(), 8u);
    for (int n = 0; n < 8; ++n) {
        const std::array<double, 3> want =
            n == 2 ? std::array<double, 3>{0, 10, 0} : std::array<double, 3>{0, 0, -500};
        EXPECT_EQ(f[static_cast<size_t>(n)], want) << "node " << n + 1;
    }
}

TEST(DeckModel, DeckNamesRunLikeSpreadsheetColumns) {
    const std::pair<int, const char*> names[] = {{0, "a"},   {1, "b"},    {25, "z"},
                                                 {26, "aa"}, {27, "ab"},  {51, "az"},
                                                 {52, "ba"}, {701, "zz"}, {702, "aaa"}};
    for (const auto& [p, n] : names) EXPECT_EQ(formats::deck_name(p), n) << p;
}

TEST(DeckModel, ShippedExampleReads) {
    Deck d = formats::read_deck(std::string(HEXDYN_SOURCE_DIR) + "/examples/cube/a");
    EXPECT_EQ(d.nnodes(), 8);
    EXPECT_EQ(d.nelements(), 1);
    EXPECT_EQ(d.curves.size(), 2u);
}

TEST(DeckModel, MissingFileIsAnError) {
    EXPECT_THROW(formats::read_deck("/nonexistent/deck"), formats::Error);
}

namespace {

// The unit cube with two material sets; `extra` stands before "endi" from line 19 on.
std::string two_set_deck(const std::string& extra) {
    return std::string("nbmp 8\nnbel 1\nnmat 2\nncom 1\nmate\n1 elas 7800 2.1e11 0.3\n") +
           "2 elas 2700 7e10 0.33\npart\n" + kCubeNodes + "elem\n1 1 1 2 3 4 5 6 7 8\n" + extra +
           "endi\n";
}

}  // namespace

// The contact block and the global numbers read in any spelling and come
// back as their canonical records, which read back to the same text.
TEST(DeckContact, RecordsReadAndWriteBack) {
    struct Case {
        std::string extra, written;
    };
    const Case cases[] = {
        {"CONTACT\nendc\n", "cont\nendc\n"},
        {"cont\npair 2, 1 scal 0.2\npart 1\nfric 0.3 0.2 0.5 part 2\npair 2 2\nendc\n",
         "cont\nscal 0.2\nfric 0.3 0.2 0.5\npart 1\npart 2\npair 2 1\npair 2 2\nendc\n"},
        {"glob 11 12 13 14\n15 16 17 18 3\n", "glob\n11 12 13 14 15 16 17 18\n3\n"},
        {"cont part 1 2\nendc glob\n1 2 3 4 5 6 7 8\n1\n", "cont\npart 1 2\nendc\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extra);
        const Deck d = formats::parse_deck(two_set_deck(c.extra), "deck");
        const std::string text = formats::deck_text(d);
        EXPECT_NE(text.find(c.written), std::string::npos) << text;
        EXPECT_EQ(formats::deck_text(formats::parse_deck(text, "written")), text);
    }
    // Twelve nodes: ten numbers a line, the elements on a line of their own,
    // and "glob" may come right after the counts.
    Deck d = formats::parse_deck(
        two_set_deck("").replace(0, 14, "nbmp 8\nnbel 1\nglob 8 7 6 5 4 3 2 1 9\n"), "deck");
    EXPECT_EQ(d.node_global, (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(d.element_global, (std::vector<int>{9}));
    for (int i = 0; i < 4; ++i) d.nodes.push_back({9.0, 9.0, double(i)});
    d.node_global.insert(d.node_global.end(), {10, 11, 12, 13});
    const std::string text = formats::deck_text(d);
    EXPECT_NE(text.find("\nglob\n8 7 6 5 4 3 2 1 10 11\n12 13\n9\nendi\n"), std::string::npos)
        << text;
    // A process deck of nodes only still names its element count before "glob".
    const std::string nodes_only = "nbmp 1\nnbel 0\npart\n1 0 0 0 0\nglob\n4\nendi\n";
    EXPECT_EQ(formats::deck_text(formats::parse_deck(nodes_only, "deck")), nodes_only);
}

TEST(DeckContact, FaultsNameTheLineAndTheValue) {
    const std::pair<std::string, std::string> cases[] = {
        {two_set_deck("cont\nscal 0\nendc\n"),
         "deck:20: contact penalty scale 0 is outside the valid range 1e-6..10"},
        {two_set_deck("cont\nfric -0.1 0 0\nendc\n"),
         "deck:20: static friction coefficient -0.1 is outside the valid range 0..10"},
        {two_set_deck("cont\nfric 0.2 0.3 0\nendc\n"),
         "deck:20: dynamic friction coefficient 0.3 is outside the valid range 0..0.2 (the static "
         "one)"},
        {two_set_deck("cont\nfric 0.3 0.2 -1\nendc\n"),
         "deck:20: friction decay coefficient -1 is outside the valid range 0..1e30"},
        {two_set_deck("cont\npart 1 3\nendc\n"),
         "deck:20: contact material set 3 is outside the valid range 1..2"},
        {two_set_deck("cont\npair 0 1\nendc\n"),
         "deck:20: contact material set 0 is outside the valid range 1..2"},
        {two_set_deck("cont\npart 2 2\nendc\n"),
         "deck:20: cont: material set 2 listed twice in part (a set takes part once)"},
        {"cont\npart 5\nendc\n" + two_set_deck(""), "deck:1: nmat must be defined before \"cont\""},
        {two_set_deck("cont\npart\nendc\n"),
         "deck:21: expected an integer for contact material set, found \"endc\""},
        {two_set_deck("cont\nfoo\nendc\n"),
         "deck:20: unknown record in the \"cont\" block (endc, scal, fric, part, pair, "
         "psca or forc expected)"},
        {two_set_deck("cont endc\ncont endc\n"), "deck:20: keyword \"cont\" given a second time"},
        {"nbmp 8\nglob 1\nendi\n", "deck:2: \"glob\" must follow \"nbmp\" and \"nbel\""},
        {two_set_deck("glob 1 2 3 4 5 6 7 0 1\n"),
         "deck:19: global node number 0 of local node 8 is below 1"},
        {two_set_deck("glob 1 3 2 4 3 6 7 8 1\n"),
         "deck:19: global node number 3 given twice (local nodes 2 and 5)"},
        {two_set_deck("glob 1 2 3 4 5 6 7 8 -4\n"),
         "deck:19: global element number -4 of local element 1 is below 1"},
        {two_set_deck("glob 1 2 3\n"),
         "deck:20: \"glob\" on line 19 takes nbmp + nbel = 8 + 1 = 9 global numbers (every "
         "local node's, then every element's), found 3 before \"endi\": give the missing "
         "number(s)"},
        // What the solver advises, the tools advise alike.
        {two_set_deck("cont\nscal 0.1 0.2\nendc\n"),
         "deck:20: cont: the value 0.2 on line 20 follows a complete \"scal\" record (scal F): "
         "remove the extra value, or begin a new record with its word"},
        {two_set_deck("cont\nscal 0.1\n"),
         "deck:21: cont: \"endi\" on line 21 before \"endc\": the \"cont\" block opened on "
         "line 19 has no \"endc\": end it with \"endc\" after its last record"},
        {two_set_deck("endf\n"),
         "deck:19: unknown keyword \"endf\": \"endf\" on line 19 ends a \"fail\" block, but "
         "none is open: begin the block with \"fail\" (or remove the word)"},
        {two_set_deck("fail\nstep 1e-6\nstep 0.999\nendf\n"),
         "deck:21: fail: step given twice (the block takes one)"},
        // The values the solver refuses, the tools refuse alike.
        {two_set_deck("bulk 2 1.5\n"),
         "deck:19: bulk viscosity Q1 2 is outside the valid range 0..1"},
        {two_set_deck("fail\nstep 1.5\nendf\n"),
         "deck:20: fail: erosion step fraction (step) must be within 1e-6..0.999, got 1.5"},
        {two_set_deck("fixd 1 0 0\n1\n"),
         "deck:19: fixd takes 4 values (C FX FY FZ) on its line, found 3"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(error_of(text), message) << text;
}

// Time functions, driven components and forces come back as written, a
// load's function after its vector; the tools refuse what the solver
// refuses.
TEST(DeckMotion, RecordsReadAndWriteBackAndFaultsAreRefused) {
    const std::string extra =
        "tfun 3 2 0 0 1 1\nmove 1 Z d 3 0.001 reac 1\nload\ncomp 1 0 0 -5 3\nnode 2 1 0 0\n"
        "endl\n";
    const Deck d = formats::parse_deck(cube_deck(extra), "deck");
    ASSERT_EQ(d.drives.size(), 1u);
    EXPECT_EQ(d.drives[0].axis, 3);
    EXPECT_TRUE(d.drives[0].disp);
    EXPECT_EQ(d.loads[0].func, 3);
    EXPECT_EQ(d.loads[1].func, 1);
    const std::string text = formats::deck_text(d);
    for (const char* written : {"\nmove 1 z d 3 0.001\n", "\nreac 1\n", "\ntfun 3 2\n0 0\n1 1\n",
                                "\ncomp 1 0 0 -5 3\n", "\nnode 2 1 0 0\n"})
        EXPECT_NE(text.find(written), std::string::npos) << written << " in\n" << text;
    EXPECT_EQ(formats::deck_text(formats::parse_deck(text, "written")), text);
    const std::pair<std::string, std::string> faults[] = {
        {"fixd 1 0 0 1\ntfun 2 2 0 0 1 1\nmove 1 z v 2 1\n",
         "move: node 1 (component 1) along z is held by \"fixd\" as well"},
        {"move 1 z v 3 1\n", "deck:19: time function 3 is not given (no \"tfun 3\" record)"},
        {"move 2 z v 3 1\n", "component number 2 is outside the valid range 1..1"},
        {"reac 1 reac 1\n", "reac: the force of component 1 is asked for twice"},
    };
    for (const auto& [records, message] : faults) {
        SCOPED_TRACE(records);
        EXPECT_NE(error_of(cube_deck(records)).find(message), std::string::npos)
            << error_of(cube_deck(records));
    }
    // A deck built in memory is held to the same checks.
    Deck bad = d;
    bad.drives[0].func = 4;
    EXPECT_THROW(formats::deck_text(bad), formats::Error);
}

// Rigid sets come back as written (a body at rest without its zeros); the
// tools refuse what the solver refuses.
TEST(DeckRigid, RecordsReadAndWriteBackAndFaultsAreRefused) {
    const Deck d = formats::parse_deck(cube_deck("rigd 1 0 0 -5 1 0 0.5\n"), "deck");
    ASSERT_EQ(d.bodies.size(), 1u);
    EXPECT_EQ(d.bodies[0].v[2], -5.0);
    EXPECT_EQ(d.bodies[0].w[2], 0.5);
    const std::string text = formats::deck_text(d);
    EXPECT_NE(text.find("\nrigd 1 0 0 -5 1 0 0.5\n"), std::string::npos) << text;
    EXPECT_EQ(formats::deck_text(formats::parse_deck(text, "written")), text);
    const std::string held =
        formats::deck_text(formats::parse_deck(cube_deck("rigd 1 0 0 -5 0 0 0 1 1 0 1\n"), "deck"));
    EXPECT_NE(held.find("\nrigd 1 0 0 -5 0 0 0 1 1 0 1\n"), std::string::npos) << held;
    Deck still = formats::parse_deck(cube_deck("rigd 1\n"), "deck");
    EXPECT_NE(formats::deck_text(still).find("\nrigd 1\n"), std::string::npos);
    const std::pair<std::string, std::string> faults[] = {
        {"rigd 2\n", "rigd material set 2 is outside the valid range 1..1"},
        {"rigd 1 rigd 1\n", "rigd: material set 1 is made rigid twice"},
        {"rigd 1 0 0 0 0 0 3e7\n", "rigd angular velocity"},
        {"rigd 1 0 0 0 0 0 0 0 0 -1 0\n", "rigd hold (0 free, 1 held) -1 is outside"},
    };
    for (const auto& [records, message] : faults) {
        SCOPED_TRACE(records);
        EXPECT_NE(error_of(cube_deck(records)).find(message), std::string::npos)
            << error_of(cube_deck(records));
    }
    still.bodies.push_back(still.bodies[0]);
    EXPECT_THROW(formats::deck_text(still), formats::Error);
}
