// Decks of several bodies meshed with hexahedra for the contact tests: a
// general node-and-element model, and boxes placed, turned and set moving.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace testutil {

// A model being built: nodes with their component, elements with their
// material set, and the initial velocity of components.
struct Mesh {
    std::vector<Point3> x;
    std::vector<int> comp;                         // component of each node (0: none)
    std::vector<std::array<int, 8>> hex;           // 1-based node numbers, element corner order
    std::vector<int> mat;                          // material set of each element
    std::vector<std::pair<int, Point3>> velocity;  // component, velocity
    int ncom = 1;

    // Adds a node; returns its 1-based number.
    int node(const Point3& p, int component) {
        x.push_back(p);
        comp.push_back(component);
        return static_cast<int>(x.size());
    }
    void element(int set, const std::array<int, 8>& corners) {
        hex.push_back(corners);
        mat.push_back(set);
    }
    // The deck: `materials` the "mate" records, `control` the lines between
    // the counts and "mate", `extra` lines before "endi".
    std::string deck(const std::vector<std::string>& materials, const std::string& control,
                     const std::string& extra, const std::string& title = "contact") const;
};

// A box of nx x ny x nz elements, turned by `tilt` radians about the axis
// (1, 1, 0)/sqrt(2) through its centre, with an initial velocity.
struct Body {
    int nx, ny, nz;
    Point3 origin, size;
    int mat;
    Point3 velocity;
    double tilt = 0.0;
    int first = 0;  // its first node in the deck (set when written)
    int node(int i, int j, int k) const { return first + i + (nx + 1) * (j + (ny + 1) * k); }
    int nodes() const { return (nx + 1) * (ny + 1) * (nz + 1); }
    int elements() const { return nx * ny * nz; }
    // Element (i, j, k)'s corners in the element's node order.
    std::array<int, 8> corners(int i, int j, int k) const {
        return {node(i, j, k),
                node(i + 1, j, k),
                node(i + 1, j + 1, k),
                node(i, j + 1, k),
                node(i, j, k + 1),
                node(i + 1, j, k + 1),
                node(i + 1, j + 1, k + 1),
                node(i, j + 1, k + 1)};
    }
    // Every element's corners, in deck order.
    std::vector<std::array<int, 8>> hexes() const;
    // The faces on the box's outside, as 4 node numbers each.
    std::vector<std::array<int, 4>> outer_faces() const;
};

// Deck of the bodies: component 1+b the nodes of body b (0-based) above its
// bottom layer, component 1+nbodies+b that bottom layer; `materials` the
// "mate" records, `extra` lines before "endi".
std::string deck(std::vector<Body>& bodies, const std::vector<std::string>& materials,
                 const std::string& control, const std::string& extra);

// The natural coordinates of p in the hexahedron with corners x (Newton's
// inverse of the trilinear map from its centre, 20 steps).
Point3 natural(const Point3 x[8], const Point3& p);

// True when p lies inside the hexahedron with corners x (Newton's inverse of
// the trilinear map from its centre) by more than `margin` of its natural
// half-width on every axis.
bool inside(const Point3 x[8], const Point3& p, double margin);

}  // namespace testutil
