// Spatial binning of the contact search: boxes (the faces, widened) sorted
// into classes of width, each class on a grid whose cell is at least half
// as wide as the widest box of the class, so a box covers at most three
// cells per axis of its class and a point finds every box holding it in
// its own cell of each class. Only the cells that hold boxes are kept, so a class
// of small boxes gets small cells however far apart its boxes lie: a mesh
// graded from fine to coarse does not list the coarse faces' width of fine
// faces at every node. The kept cells are found through a hash table of
// their numbers: building and a query cost a few probes per cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace contact {

struct bin {
    double lo[3], hi[3];
};

class grid {
  public:
    // Appends to `hits` the boxes registered in the cells of `x`, in
    // increasing box number (a superset of the boxes holding x).
    void query(const double x[3], std::vector<int>& hits) const;

    // The boxes of one class of width.
    struct level {
        double origin[3] = {0.0, 0.0, 0.0};
        double top[3] = {0.0, 0.0, 0.0};  // the upper corner of the class's boxes
        double cell = 1.0;
        std::int64_t dims[3] = {1, 1, 1};
        // Open addressing, a power of two long: the number of a kept cell
        // (-1 an empty place) and the cell's place in `start`.
        std::vector<std::int64_t> keys;
        std::vector<int> kept;
        std::vector<std::int64_t> start;  // per kept cell, its first entry
        std::vector<int> entries;         // box numbers, cell by cell, increasing in a cell
        std::int64_t cellof(const double x[3], int axis) const;
        // The place of cell `c` in `keys`: where it is, or the empty place
        // where it would go.
        std::size_t probe(std::int64_t c) const;
    };
    std::vector<level> levels;
};

// The grid of `boxes`.
grid bingrid(const std::vector<bin>& boxes);

}  // namespace contact
