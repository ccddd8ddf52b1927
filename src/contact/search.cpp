#include "contact/search.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace contact {

std::int64_t grid::level::cellof(const double x[3], int axis) const {
    const double r = std::floor((x[axis] - origin[axis]) / cell);
    if (!(r >= 0.0)) return 0;
    const double last = static_cast<double>(dims[axis] - 1);
    return r > last ? dims[axis] - 1 : static_cast<std::int64_t>(r);
}

std::size_t grid::level::probe(std::int64_t c) const {
    const std::size_t mask = keys.size() - 1;
    // Fibonacci hashing of the cell number, its high bits folded down:
    // neighbouring cells spread out.
    std::uint64_t h = static_cast<std::uint64_t>(c) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 29;
    std::size_t at = static_cast<std::size_t>(h) & mask;
    while (keys[at] != c && keys[at] != -1) at = (at + 1) & mask;
    return at;
}

void grid::query(const double x[3], std::vector<int>& hits) const {
    const std::size_t first = hits.size();
    int found = 0;
    for (const level& l : levels) {
        // No box of the class holds a point beyond their corners.
        if (x[0] < l.origin[0] || x[1] < l.origin[1] || x[2] < l.origin[2] || x[0] > l.top[0] ||
            x[1] > l.top[1] || x[2] > l.top[2])
            continue;
        const std::int64_t c =
            (l.cellof(x, 2) * l.dims[1] + l.cellof(x, 1)) * l.dims[0] + l.cellof(x, 0);
        const std::size_t at = l.probe(c);
        if (l.keys[at] != c) continue;
        const auto k = static_cast<std::size_t>(l.kept[at]);
        for (std::int64_t i = l.start[k]; i < l.start[k + 1]; ++i)
            hits.push_back(l.entries[static_cast<std::size_t>(i)]);
        found += 1;
    }
    // Each class lists its boxes in increasing number; so do all together.
    if (found > 1) std::sort(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end());
}

grid bingrid(const std::vector<bin>& boxes) {
    grid g;
    if (boxes.empty()) return g;
    // The width of a box is its largest extent; the classes double in
    // width from the narrowest box that has one.
    std::vector<double> width(boxes.size(), 0.0);
    double narrowest = 0.0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            const double span = boxes[i].hi[c] - boxes[i].lo[c];
            if (span > width[i]) width[i] = span;
        }
        if (width[i] > 0.0 && (narrowest == 0.0 || width[i] < narrowest)) narrowest = width[i];
    }
    if (!(narrowest > 0.0)) narrowest = 1.0;
    std::vector<int> cls(boxes.size(), 0);
    int nclass = 1;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        double h = narrowest;
        int l = 0;
        while (h < width[i] && l < 62) {
            h *= 2.0;
            l += 1;
        }
        cls[i] = l;
        nclass = std::max(nclass, l + 1);
    }
    for (int l = 0; l < nclass; ++l) {
        grid::level v;
        double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
        double wide = 0.0;
        std::size_t n = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (cls[i] != l) continue;
            n += 1;
            if (width[i] > wide) wide = width[i];
            for (int c = 0; c < 3; ++c) {
                if (boxes[i].lo[c] < lo[c]) lo[c] = boxes[i].lo[c];
                if (boxes[i].hi[c] > hi[c]) hi[c] = boxes[i].hi[c];
            }
        }
        if (n == 0) continue;
        // Cells half as wide as the widest box of the class (wider only
        // where the cell numbers would not fit): a point's cell then lists
        // fewer boxes that do not hold it (the boxes, widened by the capture
        // depth and the margin, are far wider than the faces' spacing), for
        // at most three cells per axis to register a box in.
        double h = wide > 0.0 ? 0.5 * wide : narrowest;
        for (int tries = 0; tries < 64; ++tries) {
            double cells = 1.0;
            for (int c = 0; c < 3; ++c) cells *= std::floor((hi[c] - lo[c]) / h) + 1.0;
            if (cells < 1e15) break;
            h *= 2.0;
        }
        v.cell = h;
        for (int c = 0; c < 3; ++c) {
            v.origin[c] = lo[c];
            v.top[c] = hi[c];
            v.dims[c] = static_cast<std::int64_t>(std::floor((hi[c] - lo[c]) / h)) + 1;
        }
        // The cells of each box of the class, numbered as they are first
        // met; then the boxes cell by cell, in increasing number in each.
        // Twice as many places as cells, at least.
        std::size_t cellsum = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (cls[i] != l) continue;
            std::size_t cells = 1;
            for (int c = 0; c < 3; ++c)
                cells *= static_cast<std::size_t>(v.cellof(boxes[i].hi, c) -
                                                  v.cellof(boxes[i].lo, c) + 1);
            cellsum += cells;
        }
        std::size_t places = 16;
        while (places < 2 * cellsum) places *= 2;
        v.keys.assign(places, -1);
        v.kept.assign(places, -1);
        std::vector<std::int64_t> count;
        std::vector<std::size_t> cellat;  // per cell of each box in turn, its table place
        std::vector<int> cellbox;         // and the box
        cellat.reserve(cellsum);
        cellbox.reserve(cellsum);
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (cls[i] != l) continue;
            std::int64_t a[3], b[3];
            for (int c = 0; c < 3; ++c) {
                a[c] = v.cellof(boxes[i].lo, c);
                b[c] = v.cellof(boxes[i].hi, c);
            }
            for (std::int64_t z = a[2]; z <= b[2]; ++z)
                for (std::int64_t y = a[1]; y <= b[1]; ++y)
                    for (std::int64_t x = a[0]; x <= b[0]; ++x) {
                        const std::int64_t key = (z * v.dims[1] + y) * v.dims[0] + x;
                        const std::size_t at = v.probe(key);
                        if (v.keys[at] != key) {
                            v.keys[at] = key;
                            v.kept[at] = static_cast<int>(count.size());
                            count.push_back(0);
                        }
                        count[static_cast<std::size_t>(v.kept[at])] += 1;
                        cellat.push_back(at);
                        cellbox.push_back(static_cast<int>(i));
                    }
        }
        v.start.assign(count.size() + 1, 0);
        for (std::size_t k = 0; k < count.size(); ++k) v.start[k + 1] = v.start[k] + count[k];
        v.entries.assign(cellat.size(), 0);
        std::vector<std::int64_t> fill(v.start.begin(), v.start.end() - 1);
        for (std::size_t j = 0; j < cellat.size(); ++j) {
            const auto k = static_cast<std::size_t>(v.kept[cellat[j]]);
            v.entries[static_cast<std::size_t>(fill[k]++)] = cellbox[j];
        }
        g.levels.push_back(std::move(v));
    }
    return g;
}

}  // namespace contact
