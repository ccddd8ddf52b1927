// The exterior surface of the process's elements: the faces that belong to
// exactly one element of the whole model, each oriented so that its normal
// points out of its element.
#pragma once

#include <vector>

namespace contact {

struct face {
    // Local nodes (0-based) in the order that makes (x2 - x0) x (x3 - x1)
    // point out of the element.
    int node[4];
    int element;  // local element (0-based)
    int side;     // which of the element's six faces (0..5)
};

// Corners (0-based) of the six faces of a hexahedron, in its corner order.
inline constexpr int hexfaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                       {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

// Number in the whole model of a local node or element (0-based index in,
// 1-based number out): the deck's own numbers when it has no "glob".
long long globalnode(int k);
long long globalelement(int e);

// The exterior faces of this process's elements (those not eroded), in
// element and face order. A face met by two local elements is inside the body; on several
// processes so is a face whose four nodes are shared and that an element of
// another process also has (collective).
std::vector<face> exteriorfaces();

}  // namespace contact
