// Orientation of hexahedra judged with the solver's own centre Jacobian
// (element/geometry.hpp), so that the tools accept an element exactly when
// the solver will find a positive volume at its centre.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

#include "element/cornerjacobians.hpp"
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

// The first corner (1..8) of element e whose corner Jacobian is not
// positive, with that Jacobian; corner 0 when every one is. An element the
// tools write must pass: the solver stops at input on a folded one.
struct Fold {
    int corner = 0;
    double det = 0.0;
};

inline Fold fold(const double xyz[8][3]) {
    double det[8];
    cornerjacobians(xyz, det);
    for (int k = 0; k < 8; ++k)
        if (!(det[k] > 0.0)) return {k + 1, det[k]};
    return {};
}

inline Fold fold(const formats::Deck& d, int e) {
    double xyz[8][3];
    corners(d, e, xyz);
    return fold(xyz);
}

inline std::string jacobian_text(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.4E", v);
    return b;
}

}  // namespace mesh
