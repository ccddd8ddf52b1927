#include "contact/search.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace contact {

std::int64_t grid::cellof(const double x[3], int axis) const {
    const double r = std::floor((x[axis] - origin[axis]) / cell);
    if (!(r >= 0.0)) return 0;
    const double top = static_cast<double>(dims[axis] - 1);
    return r > top ? dims[axis] - 1 : static_cast<std::int64_t>(r);
}

void grid::query(const double x[3], std::vector<int>& hits) const {
    if (start.empty()) return;
    const std::int64_t c = (cellof(x, 2) * dims[1] + cellof(x, 1)) * dims[0] + cellof(x, 0);
    for (std::int64_t i = start[static_cast<std::size_t>(c)];
         i < start[static_cast<std::size_t>(c) + 1]; ++i)
        hits.push_back(entries[static_cast<std::size_t>(i)]);
}

grid bingrid(const std::vector<bin>& boxes, const std::vector<const double*>& points) {
    grid g;
    if (boxes.empty()) return g;
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    double wide = 0.0;
    for (const bin& b : boxes)
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::fmin(lo[c], b.lo[c]);
            hi[c] = std::fmax(hi[c], b.hi[c]);
            wide = std::fmax(wide, b.hi[c] - b.lo[c]);
        }
    for (const double* p : points)
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::fmin(lo[c], p[c]);
            hi[c] = std::fmax(hi[c], p[c]);
        }
    // Cells no narrower than the widest box, and not many more cells than
    // boxes.
    const double most = 4.0 * static_cast<double>(boxes.size()) + 64.0;
    double h = wide > 0.0 ? wide : 1.0;
    for (int tries = 0; tries < 64; ++tries) {
        double n = 1.0;
        for (int c = 0; c < 3; ++c) n *= std::floor((hi[c] - lo[c]) / h) + 1.0;
        if (n <= most) break;
        h *= std::fmax(1.01, std::cbrt(n / most));
    }
    g.cell = h;
    for (int c = 0; c < 3; ++c) {
        g.origin[c] = lo[c];
        g.dims[c] = static_cast<std::int64_t>(std::floor((hi[c] - lo[c]) / h)) + 1;
    }
    const std::int64_t ncell = g.dims[0] * g.dims[1] * g.dims[2];
    g.start.assign(static_cast<std::size_t>(ncell) + 1, 0);
    // Two passes: count per cell, then place.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::int64_t> fill;
        if (pass == 1) {
            for (std::int64_t c = 0; c < ncell; ++c)
                g.start[static_cast<std::size_t>(c) + 1] += g.start[static_cast<std::size_t>(c)];
            g.entries.assign(static_cast<std::size_t>(g.start.back()), 0);
            fill.assign(g.start.begin(), g.start.end() - 1);
        }
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            std::int64_t a[3], b[3];
            for (int c = 0; c < 3; ++c) {
                a[c] = g.cellof(boxes[i].lo, c);
                b[c] = g.cellof(boxes[i].hi, c);
            }
            for (std::int64_t z = a[2]; z <= b[2]; ++z)
                for (std::int64_t y = a[1]; y <= b[1]; ++y)
                    for (std::int64_t x = a[0]; x <= b[0]; ++x) {
                        const std::size_t c =
                            static_cast<std::size_t>((z * g.dims[1] + y) * g.dims[0] + x);
                        if (pass == 0)
                            g.start[c + 1] += 1;
                        else
                            g.entries[static_cast<std::size_t>(fill[c]++)] = static_cast<int>(i);
                    }
        }
    }
    return g;
}

}  // namespace contact
