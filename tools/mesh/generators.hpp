// Structured hexahedral meshes of a box, a solid cylinder and a square tube. They fill
// the nodes, elements (material set 1) and node components of a deck and
// leave everything else alone.
#pragma once

#include <array>

#include "formats/deck.hpp"

namespace mesh {

struct BoxParams {
    int nx = 1, ny = 1, nz = 1;           // elements along x, y, z
    double lx = 1.0, ly = 1.0, lz = 1.0;  // edge lengths
    std::array<double, 3> origin{0.0, 0.0, 0.0};
};

// Components of the box.
enum BoxComponent {
    box_all = 1,
    box_zmin,
    box_zmax,
    box_xmin,
    box_xmax,
    box_ymin,
    box_ymax,
    box_ncomp = 7
};

// Node (i, j, k), 0 <= i <= nx ..., is node 1 + i + (nx+1) (j + (ny+1) k).
void make_box(const BoxParams& params, formats::Deck& deck);

struct CylinderParams {
    double radius = 1.0, length = 1.0;
    int ncore = 2;    // elements along each side of the square core
    int nlayers = 2;  // element layers between the core and the surface
    int nalong = 2;   // elements along the axis
};

// Components of the cylinder.
enum CylinderComponent { cyl_all = 1, cyl_bottom, cyl_top, cyl_lateral, cyl_ncomp = 4 };

// Solid cylinder along z with its base at z = 0 and its axis through x = y = 0.
// The cross-section is an O-grid: a square core of half-width radius/2
// divided into ncore x ncore quadrilaterals, surrounded by nlayers rings of
// 4 ncore quadrilaterals that blend from the square to the circle.
void make_cylinder(const CylinderParams& params, formats::Deck& deck);

struct TubeParams {
    double side = 1.0;       // side of the square through the middle of the wall
    double thickness = 0.1;  // wall thickness
    double length = 1.0;
    int nwall = 2;   // elements through the wall
    int nside = 4;   // elements along each side
    int nalong = 4;  // elements along the axis
};

// Components of the tube.
enum TubeComponent { tube_all = 1, tube_bottom, tube_top, tube_outer, tube_inner, tube_ncomp = 5 };

// Thin-walled square tube along z with its base at z = 0 and its axis
// through x = y = 0. Each cross-section is nwall + 1 concentric squares,
// side - thickness to side + thickness across, with 4 nside points each
// (equal spacing along every side, a point at each corner); the elements at
// the corners are the trapezoids between the diagonals.
void make_tube(const TubeParams& params, formats::Deck& deck);

// Throws formats::Error when the element counts or sizes are not positive,
// the wall is not thinner than the side, or the mesh would exceed the
// solver's integer range.
void check_box(const BoxParams& params);
void check_cylinder(const CylinderParams& params);
void check_tube(const TubeParams& params);

}  // namespace mesh
