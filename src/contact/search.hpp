// Spatial binning of the contact search: boxes (the faces, widened) on a
// uniform grid whose cell is at least as wide as the widest box, so a box
// covers at most two cells per axis and a point finds every box holding it
// in its own cell. Building and every query cost time linear in the number
// of boxes and points.
#pragma once

#include <cstdint>
#include <vector>

namespace contact {

struct bin {
    double lo[3], hi[3];
};

class grid {
  public:
    // Appends to `hits` the boxes registered in the cell of `x` (a superset
    // of the boxes holding x).
    void query(const double x[3], std::vector<int>& hits) const;

    double origin[3] = {0.0, 0.0, 0.0};
    double cell = 1.0;
    std::int64_t dims[3] = {1, 1, 1};
    std::vector<std::int64_t> start;  // per cell, its first entry
    std::vector<int> entries;         // box numbers, cell by cell

    std::int64_t cellof(const double x[3], int axis) const;
};

// The grid of `boxes`, spanning them and `points`.
grid bingrid(const std::vector<bin>& boxes, const std::vector<const double*>& points);

}  // namespace contact
