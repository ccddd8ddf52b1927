// The exterior surface of the process's elements: the faces that belong to
// exactly one element of the whole model, each oriented so that its normal
// points out of its element.
#pragma once

#include <array>
#include <cstddef>
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

// Cross product of the diagonals (x2 - x0) x (x3 - x1) of a face with
// corners p0..p3: along its normal, twice its area long (for a plane face).
inline std::array<double, 3> diagonalcross(const double* p0, const double* p1, const double* p2,
                                           const double* p3) {
    const double a[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    const double b[3] = {p3[0] - p1[0], p3[1] - p1[1], p3[2] - p1[2]};
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The same for face corners `node` (local nodes) of the positions x.
inline std::array<double, 3> diagonalcross(const double* x, const int node[4]) {
    return diagonalcross(
        x + 3 * static_cast<std::ptrdiff_t>(node[0]), x + 3 * static_cast<std::ptrdiff_t>(node[1]),
        x + 3 * static_cast<std::ptrdiff_t>(node[2]), x + 3 * static_cast<std::ptrdiff_t>(node[3]));
}

// Number in the whole model of a local node or element (0-based index in,
// 1-based number out): the deck's own numbers when it has no "glob".
long long globalnode(int k);
long long globalelement(int e);

// Which faces of the process's elements no other element of the process
// still in the model has, kept as elements erode: the faces are grouped by
// their four nodes once, each group counting its faces of elements still in
// the model, so an erosion only counts down the groups of the eroded
// elements' faces instead of matching every face again.
class localexterior {
  public:
    // Brings the counts up to the eroded elements of the model (the first
    // call groups the faces).
    void update();
    // The faces met once, in element and side order, their corners in the
    // element's order.
    std::vector<face> faces() const;

  private:
    std::vector<int> group;  // per face (6 per element), its group
    std::vector<int> alive;  // per group, its faces of elements still in the model
    std::vector<char> gone;  // per element, eroded as counted here
};

// The exterior faces of this process's elements (those not eroded), in
// element and face order. A face met by two local elements is inside the
// body; on several processes so is a face whose four nodes are shared and
// that an element of another process also has (collective). `known` carries
// the local matching from one call to the next.
std::vector<face> exteriorfaces(localexterior& known);

}  // namespace contact
