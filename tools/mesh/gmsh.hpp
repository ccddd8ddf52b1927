// Import of Gmsh ASCII meshes (formats 4.1 and 2.2) made of 8-node
// hexahedra into the nodes, elements and components of a deck.
//
// - Hexahedra (element type 5) become the elements, in the order of the
//   file. Every physical volume holding hexahedra is a material set,
//   numbered 1, 2, ... in increasing order of its tag; each hexahedron takes
//   the set of its volume and must be in exactly one. Gmsh numbers the corners of a hexahedron as the solver
//   does (bottom face counter-clockwise, then the top face above it); an
//   element whose centre Jacobian is negative (mirrored) gets its bottom and
//   top faces swapped, a degenerate one is rejected.
// - Points, lines, triangles and quadrangles (of any order) only carry
//   physical groups; any other volume element is rejected.
// - Nodes used by a hexahedron are kept and numbered 1..N in increasing
//   order of their Gmsh tags; other nodes are dropped.
// - Component 1 holds every node. Every physical group, of any dimension,
//   becomes one further component, numbered 2, 3, ... in increasing order of
//   the group tag (groups of equal tag in increasing dimension). A component
//   holds the kept nodes of the group's elements, so a physical volume's
//   component is the nodes of its part.
// - Two physical volumes of one name are refused: an option naming a part
//   could reach only one of them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/deck.hpp"

namespace mesh {

struct Group {
    int dim = 0;
    int tag = 0;
    std::string name;   // from $PhysicalNames, may be empty
    int component = 0;  // component number in the deck
    int nodes = 0;      // members of the component
    int material = 0;   // material set of a physical volume's hexahedra (0 for other groups)
    int elements = 0;   // hexahedra of that material set
};

struct ImportReport {
    std::string version;  // "4.1" or "2.2"
    int hexahedra = 0;
    int flipped = 0;            // mirrored hexahedra that were turned over
    int dropped_nodes = 0;      // nodes used by no hexahedron
    std::vector<Group> groups;  // in component order, from component 2
};

// Replaces the nodes, elements and components of `deck`. Throws
// formats::Error (with file name and line where it applies).
ImportReport import_text(std::string_view text, const std::string& name, formats::Deck& deck);
ImportReport import_file(const std::string& path, formats::Deck& deck);

}  // namespace mesh
