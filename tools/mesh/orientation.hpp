// Orientation of hexahedra judged with the solver's own centre Jacobian
// (element/geometry.hpp), so that the tools accept an element exactly when
// the solver will find a positive volume at its centre.
#pragma once

#include <cmath>

#include "element/geometry.hpp"
#include "formats/deck.hpp"

namespace mesh {

// Corner coordinates of element e (1-based) in the layout of `jacobian`.
inline void corners(const formats::Deck& d, int e, double xyz[8][3]) {
    const formats::Element& el = d.elements[static_cast<size_t>(e - 1)];
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 3; ++j)
            xyz[k][j] = d.nodes[static_cast<size_t>(el.node[k] - 1)][static_cast<size_t>(j)];
}

// Volume 8 |det J| at the centre as the solver computes it, with the sign of
// det J: positive when the corners follow the solver's order (1-4
// counter-clockwise seen from the side of 5-8), negative for a mirrored
// element, 0 for a degenerate one. The sign is taken from the inverse the
// solver forms, whose determinant is 1 / det J.
inline double signed_volume(const double xyz[8][3]) {
    double vol = 0.0, ijac[3][3];
    jacobian(xyz, vol, ijac);
    if (!(vol > 0.0) || !std::isfinite(vol)) return 0.0;
    double jac[3][3], inverse_det = 0.0;
    innve(ijac, jac, inverse_det);
    return inverse_det < 0.0 ? -vol : vol;
}

inline double signed_volume(const formats::Deck& d, int e) {
    double xyz[8][3];
    corners(d, e, xyz);
    return signed_volume(xyz);
}

}  // namespace mesh
