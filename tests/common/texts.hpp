// Helpers for the text the tests write and read: deck pieces and reference
// formatting of result fields, worked out independently of the solver's own
// record writer, and splitting of output into lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testutil {

// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

// How often `what` occurs in `text`, overlapping occurrences included.
std::size_t count_of(const std::string& text, const std::string& what);

// A field written with E12.4 and scale factor 1 (two-digit exponents).
std::string e12(double v);

// A field written with D15.6: 0.dddddd, the letter D, a signed two-digit
// exponent.
std::string d15(double v);

// A number for a deck, nine significant digits ("%.9g"): integral values
// come out without a decimal point.
std::string num(double v);

// A real for a deck, as num() but with ".0" appended when the number has
// neither a decimal point nor an exponent (the deck reader wants one of the
// two in a real).
std::string deck_real(double v);

// Corners of the unit cube in the element's node order: the bottom face
// (z = 0) counter-clockwise from the origin, then the top face (z = 1).
extern const int unit_corner[8][3];

// The 8 node records of a brick of side h with its lowest corner at
// (x0, y0, z0), numbered from `first` in the element's corner order, all in
// component `comp`.
std::string brick(int first, double x0, double y0, double z0, double h, int comp = 0);

}  // namespace testutil
