// Import of Gmsh meshes of hexahedra.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "formats/deck.hpp"
#include "mesh/gmsh.hpp"
#include "mesh_checks.hpp"
#include "testutil.hpp"

using formats::Deck;
using namespace meshchecks;

TEST(GmshImport, ShippedBlock) {
    Deck d;
    const auto rep =
        mesh::import_file(std::string(HEXDYN_SOURCE_DIR) + "/examples/gmsh/block.msh", d);
    EXPECT_EQ(rep.version, "4.1");
    EXPECT_EQ(d.nelements(), 64);
    EXPECT_EQ(d.nnodes(), 9 * 5 * 3);
    EXPECT_EQ(rep.flipped, 0);  // Gmsh orders hexahedron corners as the solver does
    check_connectivity(d, "block");
    EXPECT_NEAR(checked_volume(d, "block"), 0.04 * 0.02 * 0.01, 1e-15);
    ASSERT_EQ(rep.groups.size(), 5u);
    const char* const names[] = {"bottom", "top", "side x=0", "side x=lx", "block"};
    const int dims[] = {2, 2, 2, 2, 3};
    const double planes[][2] = {{2, 0.0}, {2, 0.01}, {0, 0.0}, {0, 0.04}};
    for (int g = 0; g < 5; ++g) {
        EXPECT_EQ(rep.groups[static_cast<size_t>(g)].name, names[g]);
        EXPECT_EQ(rep.groups[static_cast<size_t>(g)].dim, dims[g]);
        EXPECT_EQ(rep.groups[static_cast<size_t>(g)].component, g + 2);  // after all nodes
    }
    for (int g = 0; g < 4; ++g) {
        std::set<int> want;
        const int axis = static_cast<int>(planes[g][0]);
        for (int n = 1; n <= d.nnodes(); ++n)
            if (std::fabs(d.nodes[static_cast<size_t>(n - 1)][static_cast<size_t>(axis)] -
                          planes[g][1]) < 1e-12)
                want.insert(n);
        EXPECT_EQ(as_set(d.components[static_cast<size_t>(g) + 1]), want) << names[g];
    }
    EXPECT_EQ(d.components[0].size(), static_cast<size_t>(d.nnodes()));
    EXPECT_EQ(d.components[5].size(), static_cast<size_t>(d.nnodes()));
    EXPECT_EQ(rep.groups[4].material, 1);  // the one volume is material set 1
    EXPECT_EQ(rep.groups[4].elements, 64);
}

namespace {

// Two unit cubes side by side, in Gmsh 2.2 format, with sparse node tags, an
// unused node, a quadrangle group on x = 0, and the second cube mirrored
// (top face listed first).
const char* const kTiny22 = R"($MeshFormat
2.2 0 8
$EndMeshFormat
$PhysicalNames
3
2 7 "left"
3 2 "cubes"
0 9 "corner"
$EndPhysicalNames
$Nodes
13
10 0 0 0
11 1 0 0
12 1 1 0
13 0 1 0
20 0 0 1
21 1 0 1
22 1 1 1
23 0 1 1
30 2 0 0
31 2 1 0
32 2 0 1
33 2 1 1
99 5 5 5
$EndNodes
$Elements
5
1 15 2 9 1 10
2 3 2 7 1 10 13 23 20
3 5 2 2 1 10 11 12 13 20 21 22 23
4 5 2 2 1 21 32 33 22 11 30 31 12
5 15 2 9 2 99
$EndElements
)";

}  // namespace

TEST(GmshImport, TinyVersion2WithMirroredElement) {
    Deck d;
    const auto rep = mesh::import_text(kTiny22, "tiny.msh", d);
    EXPECT_EQ(rep.version, "2.2");
    EXPECT_EQ(rep.hexahedra, 2);
    EXPECT_EQ(rep.flipped, 1);
    EXPECT_EQ(rep.dropped_nodes, 1);  // node 99 belongs to no hexahedron
    ASSERT_EQ(d.nnodes(), 12);
    // Dense renumbering in tag order: 10..13 -> 1..4, 20..23 -> 5..8, 30..33 -> 9..12.
    EXPECT_EQ(d.nodes[8], (std::array<double, 3>{2, 0, 0}));
    EXPECT_EQ(d.elements[0].node, (std::array<int, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    // The mirrored cube comes back with its bottom face (z = 0) first.
    EXPECT_EQ(d.elements[1].node, (std::array<int, 8>{2, 9, 10, 3, 6, 11, 12, 7}));
    EXPECT_NEAR(checked_volume(d, "tiny"), 2.0, 1e-14);
    // Groups by tag: 2 "cubes" (all 12 nodes), 7 "left" (x = 0), 9 "corner" (node 10 only; node 99 dropped).
    ASSERT_EQ(rep.groups.size(), 3u);
    EXPECT_EQ(rep.groups[0].name, "cubes");
    EXPECT_EQ(rep.groups[1].name, "left");
    EXPECT_EQ(rep.groups[2].name, "corner");
    EXPECT_EQ(d.components[1].size(), 12u);
    EXPECT_EQ(as_set(d.components[2]), (std::set<int>{1, 4, 5, 8}));
    EXPECT_EQ(d.components[3], (std::vector<int>{1}));
}

TEST(GmshImport, RejectsWhatItCannotUse) {
    struct Case {
        std::string text, expect;
    };
    const std::string head =
        "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n4\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 "
        "1\n$EndNodes\n";
    const Case cases[] = {
        {head + "$Elements\n1\n1 4 2 1 1 1 2 3 4\n$EndElements\n",
         "tiny.msh:13: element 1 is a 4-node tetrahedron"},
        {head + "$Elements\n1\n1 2 2 1 1 1 2 3\n$EndElements\n", "no 8-node hexahedra"},
        {head + "$Elements\n1\n1 5 2 1 1 1 2 3 4 1 2 3 5\n$EndElements\n",
         "uses node 5, which is not defined"},
        {head + "$Elements\n1\n1 5 2 1 1 1 2 3 4 1 2 3 4\n$EndElements\n", "degenerate"},
        {head + "$Elements\n1\n1 5 2 1 1 1 2 3 4\n$EndElements\n", "has 4 nodes, expected 8"},
        {head + "$Elements\n1\n1 77 2 1 1 1 2 3 4\n$EndElements\n", "unknown element type 77"},
        {head + "$Elements\n2\n1 2 2 1 1 1 2 3\n", "the file ends"},
        {"$MeshFormat\n4.1 1 8\n$EndMeshFormat\n", "binary"},
        {"$MeshFormat\n3.0 0 8\n$EndMeshFormat\n", "version 3.0 is not supported"},
        {"solid cube\n", "not a Gmsh mesh file"},
        {"$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Entities\n0 0 0 1\n1 0 0 0 1 1 1 0 "
         "0\n$EndEntities\n"
         "$Nodes\n1 4 1 4\n3 1 0 4\n1\n2\n3\n4\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n$EndNodes\n"
         "$Elements\n1 1 1 1\n3 1 4 1\n1 1 2 3 4\n$EndElements\n",
         "volume elements of type 4 (4-node tetrahedron)"},
        {head + "$Elements\n1\n1 5 2 1 1 1 2 3 4 1 2 3 4\n", "where $EndElements was expected"},
    };
    for (const Case& c : cases) {
        Deck d;
        try {
            mesh::import_text(c.text, "tiny.msh", d);
            ADD_FAILURE() << "accepted:\n" << c.text;
        } catch (const formats::Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos) << e.what();
        }
    }
}

// Sizes, tags and elements that the import refused to take on trust: each
// names the file, the line and the element or node.
TEST(GmshImport, RejectsHugeCountsWrappingTagsAndBadElements) {
    const std::string fmt2 = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n";
    const std::string cube =
        "$Nodes\n8\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n5 0 0 1\n6 1 0 1\n7 1 1 1\n8 0 1 "
        "1\n$EndNodes\n";
    auto elements = [&](const std::string& records, int n) {
        return fmt2 + cube + "$Elements\n" + std::to_string(n) + "\n" + records + "$EndElements\n";
    };
    const std::string v4 = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
    struct Case {
        const char* what;
        std::string text, expect;
    };
    const Case cases[] = {
        {"node count beyond the file", fmt2 + "$Nodes\n2147483647\n1 0 0 0\n$EndNodes\n",
         "m.msh:5: number of nodes 2147483647 is more than the rest of the file can hold (2)"},
        {"node count beyond the file, format 4.1",
         v4 + "$Nodes\n1 2147483647 1 2147483647\n3 1 0 1\n1\n0 0 0\n$EndNodes\n",
         "m.msh:5: number of nodes 2147483647 is more than the rest of the file can hold (5)"},
        {"physical tag wrapping to 1", elements("1 5 2 4294967297 1 1 2 3 4 5 6 7 8\n", 1),
         "m.msh:17: element 1 has physical tag 4294967297, outside 0..2147483647"},
        {"physical tag wrapping to 1, format 4.1",
         v4 + "$Entities\n0 0 0 1\n1 0 0 0 1 1 1 1 4294967297 0\n$EndEntities\n",
         "m.msh:6: physical tag 4294967297 is outside -2147483647..2147483647"},
        {"physical name tag out of range",
         fmt2 + "$PhysicalNames\n1\n3 4294967297 \"v\"\n$EndPhysicalNames\n",
         "m.msh:6: physical tag 4294967297 is outside 1..2147483647"},
        {"repeated node", elements("1 5 2 1 1 1 2 3 4 5 6 7 7\n", 1),
         "m.msh:17: element 1 names node 7 twice (corners 7 and 8)"},
        {"bow-tie element", elements("1 5 2 1 1 1 2 3 4 5 6 8 7\n", 1),
         "m.msh:17: element 1 is folded or degenerate at corner 7 (corner Jacobian -1.0000E+00)"},
        {"element tag given twice as two kinds",
         elements("4 5 2 1 1 1 2 3 4 5 6 7 8\n4 15 2 1 1 1\n", 2),
         "m.msh:18: element tag 4 is given twice (lines 17 and 18)"},
        {"element tag given twice, format 4.1",
         v4 + "$Nodes\n1 8 1 8\n3 1 0 8\n1\n2\n3\n4\n5\n6\n7\n8\n0 0 0\n1 0 0\n1 1 0\n0 1 "
              "0\n0 0 1\n1 0 1\n1 1 1\n0 1 1\n$EndNodes\n$Elements\n1 2 1 2\n3 1 5 2\n1 1 2 3 "
              "4 5 6 7 8\n1 1 2 3 4 5 6 7 8\n$EndElements\n",
         "m.msh:28: element tag 1 is given twice (lines 27 and 28)"},
        {"node tag given twice",
         fmt2 +
             "$Nodes\n9\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n5 0 0 1\n6 1 0 1\n7 1 1 1\n8 "
             "0 1 1\n3 5 5 5\n$EndNodes\n$Elements\n1\n1 5 2 1 1 1 2 3 4 5 6 7 8\n$EndElements\n",
         "m.msh:14: node 3 is defined twice (lines 8 and 14)"},
    };
    for (const Case& c : cases) {
        Deck d;
        try {
            mesh::import_text(c.text, "m.msh", d);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const formats::Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos)
                << c.what << ": " << e.what();
        }
    }
}

TEST(GmshImport, Version4WithParametricNodesAndSeveralBlocks) {
    // One cube, corner nodes split over two blocks (one parametric on a
    // surface), a physical curve and a physical surface.
    const char* const text = R"($MeshFormat
4.1 0 8
$EndMeshFormat
$Entities
0 1 1 1
4 0 0 0 1 0 0 1 3 2 1 -2
6 0 0 0 1 1 0 1 8 0
1 0 0 0 1 1 1 1 4 0
$EndEntities
$Nodes
2 8 1 8
2 6 1 4
1
2
3
4
0 0 0 0.0 0.0
1 0 0 1.0 0.0
1 1 0 1.0 1.0
0 1 0 0.0 1.0
3 1 0 4
5
6
7
8
0 0 1
1 0 1
1 1 1
0 1 1
$EndNodes
$Elements
3 3 1 3
1 4 1 1
1 1 2
2 6 3 1
2 1 2 3 4
3 1 5 1
3 1 2 3 4 5 6 7 8
$EndElements
)";
    Deck d;
    const auto rep = mesh::import_text(text, "v4.msh", d);
    EXPECT_EQ(rep.version, "4.1");
    ASSERT_EQ(d.nelements(), 1);
    EXPECT_NEAR(checked_volume(d, "v4"), 1.0, 1e-15);
    ASSERT_EQ(rep.groups.size(), 3u);  // tags 3 (curve), 4 (volume), 8 (surface)
    EXPECT_EQ(rep.groups[0].dim, 1);
    EXPECT_EQ(d.components[1], (std::vector<int>{1, 2}));
    EXPECT_EQ(d.components[2].size(), 8u);
    EXPECT_EQ(d.components[3], (std::vector<int>{1, 2, 3, 4}));
}

// Every physical volume is a material set of its own, in tag order, and a
// component of its nodes; component 1 is every node.
TEST(GmshImport, PhysicalVolumesAreMaterialSets) {
    Deck d;
    const auto rep =
        mesh::import_file(std::string(HEXDYN_SOURCE_DIR) + "/examples/gmsh/two_blocks.msh", d);
    ASSERT_EQ(d.nelements(), 2);
    EXPECT_EQ(d.elements[0].mat, 2);  // the projectile (tag 2) comes first in the file
    EXPECT_EQ(d.elements[1].mat, 1);
    ASSERT_EQ(rep.groups.size(), 3u);
    const char* const names[] = {"target", "projectile", "base"};
    const int materials[] = {1, 2, 0};
    const std::vector<int> members[] = {
        {1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}, {1, 2, 3, 4}};
    for (size_t g = 0; g < 3; ++g) {
        EXPECT_EQ(rep.groups[g].name, names[g]);
        EXPECT_EQ(rep.groups[g].material, materials[g]) << names[g];
        EXPECT_EQ(rep.groups[g].component, static_cast<int>(g) + 2) << names[g];
        EXPECT_EQ(d.components[g + 1], members[g]) << names[g];
    }
    EXPECT_EQ(d.components[0].size(), 16u);

    // Hexahedra outside the volumes, or in two of them.
    const std::string head =
        "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n8\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 "
        "0\n5 0 0 1\n6 1 0 1\n7 1 1 1\n8 0 1 1\n$EndNodes\n$Elements\n";
    const std::pair<std::string, std::string> faults[] = {
        {head + "1\n1 5 2 0 1 1 2 3 4 5 6 7 8\n$EndElements\n",
         "m.msh: no physical volume: every hexahedron must belong to one (Physical Volume in "
         "Gmsh), whose material set it takes"},
        {head + "2\n1 5 2 4 1 1 2 3 4 5 6 7 8\n2 5 2 0 1 1 2 3 4 5 6 7 8\n$EndElements\n",
         "m.msh:18: element 2 belongs to no physical volume (every hexahedron takes the material "
         "set of its volume)"},
        {head + "2\n1 5 2 4 1 1 2 3 4 5 6 7 8\n1 5 2 6 1 1 2 3 4 5 6 7 8\n$EndElements\n",
         "m.msh:17: element 1 belongs to physical volumes 4 and 6 (a hexahedron takes the "
         "material set of one volume only)"},
    };
    for (const auto& [text, message] : faults) {
        Deck x;
        try {
            mesh::import_text(text, "m.msh", x);
            ADD_FAILURE() << "accepted:\n" << text;
        } catch (const formats::Error& e) { EXPECT_EQ(std::string(e.what()), message); }
    }
}
