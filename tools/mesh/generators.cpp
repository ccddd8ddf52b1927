#include "mesh/generators.hpp"

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace mesh {

namespace {

constexpr long long kMaxCount = std::numeric_limits<int>::max();

void positive(double v, const char* what) {
    if (!(v > 0.0) || !std::isfinite(v))
        throw formats::Error(std::string(what) + " must be a positive number");
}

void positive(int v, const char* what) {
    if (v < 1) throw formats::Error(std::string(what) + " must be at least 1");
}

void fits(long long nodes, long long elements) {
    if (nodes > kMaxCount || elements > kMaxCount)
        throw formats::Error("the mesh is too large: " + std::to_string(nodes) + " nodes, " +
                             std::to_string(elements) + " elements");
}

}  // namespace

void check_box(const BoxParams& s) {
    positive(s.nx, "nx");
    positive(s.ny, "ny");
    positive(s.nz, "nz");
    positive(s.lx, "lx");
    positive(s.ly, "ly");
    positive(s.lz, "lz");
    for (double o : s.origin)
        if (!std::isfinite(o)) throw formats::Error("the origin must be finite");
    fits((s.nx + 1LL) * (s.ny + 1LL) * (s.nz + 1LL), 1LL * s.nx * s.ny * s.nz);
}

void make_box(const BoxParams& s, formats::Deck& d) {
    check_box(s);
    const int px = s.nx + 1, py = s.ny + 1, pz = s.nz + 1;
    auto id = [&](int i, int j, int k) { return 1 + i + px * (j + py * k); };
    d.nodes.clear();
    d.nodes.reserve(static_cast<size_t>(px) * py * pz);
    d.components.assign(box_ncomp, {});
    for (int k = 0; k < pz; ++k)
        for (int j = 0; j < py; ++j)
            for (int i = 0; i < px; ++i) {
                // i == nx gives exactly origin + length on the far faces
                const double x = s.origin[0] + (i == s.nx ? s.lx : s.lx * i / s.nx);
                const double y = s.origin[1] + (j == s.ny ? s.ly : s.ly * j / s.ny);
                const double z = s.origin[2] + (k == s.nz ? s.lz : s.lz * k / s.nz);
                d.nodes.push_back({x, y, z});
                const int n = id(i, j, k);
                d.components[box_all - 1].push_back(n);
                if (k == 0) d.components[box_zmin - 1].push_back(n);
                if (k == s.nz) d.components[box_zmax - 1].push_back(n);
                if (i == 0) d.components[box_xmin - 1].push_back(n);
                if (i == s.nx) d.components[box_xmax - 1].push_back(n);
                if (j == 0) d.components[box_ymin - 1].push_back(n);
                if (j == s.ny) d.components[box_ymax - 1].push_back(n);
            }
    d.elements.clear();
    d.elements.reserve(static_cast<size_t>(s.nx) * s.ny * s.nz);
    for (int k = 0; k < s.nz; ++k)
        for (int j = 0; j < s.ny; ++j)
            for (int i = 0; i < s.nx; ++i) {
                formats::Element e;
                e.mat = 1;
                e.node = {id(i, j, k),
                          id(i + 1, j, k),
                          id(i + 1, j + 1, k),
                          id(i, j + 1, k),
                          id(i, j, k + 1),
                          id(i + 1, j, k + 1),
                          id(i + 1, j + 1, k + 1),
                          id(i, j + 1, k + 1)};
                d.elements.push_back(e);
            }
}

void check_cylinder(const CylinderParams& s) {
    positive(s.radius, "radius");
    positive(s.length, "length");
    positive(s.ncore, "ncore");
    positive(s.nlayers, "nlayers");
    positive(s.nalong, "nalong");
    const long long nc = s.ncore;
    const long long section_nodes = (nc + 1) * (nc + 1) + 4 * nc * s.nlayers;
    const long long section_quads = nc * nc + 4 * nc * s.nlayers;
    fits(section_nodes * (s.nalong + 1LL), section_quads * s.nalong);
}

void make_cylinder(const CylinderParams& s, formats::Deck& d) {
    check_cylinder(s);
    const int n = s.ncore, nl = s.nlayers;
    const double a = 0.5 * s.radius;  // half-width of the core square
    const int ring = 4 * n;           // points around one ring
    const int core_points = (n + 1) * (n + 1);
    const int section = core_points + ring * nl;

    // Cross-section points: core grid (i, j) at index i + (n+1) j, then ring
    // l = 1..nl, position q = 0..4n-1 counter-clockwise from the corner
    // (-a, -a), at index core_points + (l-1) 4n + q.
    std::vector<std::array<double, 2>> xy(static_cast<size_t>(section));
    auto grid = [&](int i, int j) { return i + (n + 1) * j; };
    auto coord = [&](int i) { return i == n ? a : -a + 2.0 * a * i / n; };
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) xy[static_cast<size_t>(grid(i, j))] = {coord(i), coord(j)};
    // Ring position q on the square boundary (layer 0) as a core grid point.
    auto boundary = [&](int q) {
        q %= ring;
        const int side = q / n, t = q % n;
        switch (side) {
            case 0: return grid(t, 0);       // bottom, left to right
            case 1: return grid(n, t);       // right, upwards
            case 2: return grid(n - t, n);   // top, right to left
            default: return grid(0, n - t);  // left, downwards
        }
    };
    auto point = [&](int l, int q) {
        q %= ring;
        return l == 0 ? boundary(q) : core_points + (l - 1) * ring + q;
    };
    for (int q = 0; q < ring; ++q) {
        const auto sq = xy[static_cast<size_t>(boundary(q))];
        // equal angles on the circle, starting at the corner direction -135 degrees
        const double th = -0.75 * std::numbers::pi + 0.5 * std::numbers::pi * q / n;
        const double cx = s.radius * std::cos(th), cy = s.radius * std::sin(th);
        for (int l = 1; l <= nl; ++l) {
            const double t = static_cast<double>(l) / nl;
            double x = (1.0 - t) * sq[0] + t * cx, y = (1.0 - t) * sq[1] + t * cy;
            if (l == nl) {
                x = cx;
                y = cy;
            }
            xy[static_cast<size_t>(point(l, q))] = {x, y};
        }
    }
    // Quadrilaterals of the section, counter-clockwise seen from +z.
    std::vector<std::array<int, 4>> quads;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            quads.push_back({grid(i, j), grid(i + 1, j), grid(i + 1, j + 1), grid(i, j + 1)});
    for (int l = 1; l <= nl; ++l)
        for (int q = 0; q < ring; ++q)
            quads.push_back({point(l - 1, q), point(l, q), point(l, q + 1), point(l - 1, q + 1)});

    const int planes = s.nalong + 1;
    d.nodes.clear();
    d.nodes.reserve(static_cast<size_t>(section) * planes);
    d.components.assign(cyl_ncomp, {});
    for (int k = 0; k < planes; ++k) {
        const double z = k == s.nalong ? s.length : s.length * k / s.nalong;
        for (int p = 0; p < section; ++p) {
            d.nodes.push_back({xy[static_cast<size_t>(p)][0], xy[static_cast<size_t>(p)][1], z});
            const int id = 1 + k * section + p;
            d.components[cyl_all - 1].push_back(id);
            if (k == 0) d.components[cyl_bottom - 1].push_back(id);
            if (k == s.nalong) d.components[cyl_top - 1].push_back(id);
            if (p >= core_points + (nl - 1) * ring) d.components[cyl_lateral - 1].push_back(id);
        }
    }
    d.elements.clear();
    d.elements.reserve(quads.size() * static_cast<size_t>(s.nalong));
    for (int k = 0; k < s.nalong; ++k)
        for (const auto& qd : quads) {
            formats::Element e;
            e.mat = 1;
            for (int c = 0; c < 4; ++c) {
                e.node[static_cast<size_t>(c)] = 1 + k * section + qd[static_cast<size_t>(c)];
                e.node[static_cast<size_t>(c) + 4] =
                    1 + (k + 1) * section + qd[static_cast<size_t>(c)];
            }
            d.elements.push_back(e);
        }
}

void check_tube(const TubeParams& s) {
    positive(s.side, "side");
    positive(s.thickness, "thickness");
    positive(s.length, "length");
    positive(s.nwall, "nwall");
    positive(s.nside, "nside");
    positive(s.nalong, "nalong");
    if (!(s.thickness < s.side))
        throw formats::Error("thickness must be smaller than side (the inner square would vanish)");
    const long long ring = 4LL * s.nside;
    fits(ring * (s.nwall + 1LL) * (s.nalong + 1LL), ring * s.nwall * s.nalong);
}

void make_tube(const TubeParams& s, formats::Deck& d) {
    check_tube(s);
    const int ring = 4 * s.nside, layers = s.nwall + 1, section = ring * layers;
    // Point q (0..4 nside - 1) counter-clockwise from the corner (-h, -h) of
    // the square of half-width h; the corners are placed exactly.
    auto point = [&](int q, double h) {
        const double cx[5] = {-h, h, h, -h, -h}, cy[5] = {-h, -h, h, h, -h};
        const int side = q / s.nside, r = q % s.nside;
        const double f = static_cast<double>(r) / s.nside;
        return std::array<double, 2>{cx[side] + f * (cx[side + 1] - cx[side]),
                                     cy[side] + f * (cy[side + 1] - cy[side])};
    };
    // Node of layer w (0 inner, nwall outer), point q, plane k.
    auto id = [&](int w, int q, int k) { return 1 + (q % ring) + ring * w + section * k; };
    d.nodes.clear();
    d.nodes.reserve(static_cast<size_t>(section) * (s.nalong + 1));
    d.components.assign(tube_ncomp, {});
    for (int k = 0; k <= s.nalong; ++k) {
        const double z = k == s.nalong ? s.length : s.length * k / s.nalong;
        for (int w = 0; w < layers; ++w) {
            const double h = w == s.nwall
                                 ? 0.5 * (s.side + s.thickness)
                                 : 0.5 * (s.side - s.thickness) + s.thickness * w / s.nwall;
            for (int q = 0; q < ring; ++q) {
                const auto xy = point(q, h);
                d.nodes.push_back({xy[0], xy[1], z});
                const int n = id(w, q, k);
                d.components[tube_all - 1].push_back(n);
                if (k == 0) d.components[tube_bottom - 1].push_back(n);
                if (k == s.nalong) d.components[tube_top - 1].push_back(n);
                if (w == s.nwall) d.components[tube_outer - 1].push_back(n);
                if (w == 0) d.components[tube_inner - 1].push_back(n);
            }
        }
    }
    d.elements.clear();
    d.elements.reserve(static_cast<size_t>(ring) * s.nwall * s.nalong);
    for (int k = 0; k < s.nalong; ++k)
        for (int w = 0; w < s.nwall; ++w)
            for (int q = 0; q < ring; ++q) {
                // Counter-clockwise seen from +z: along the outer square, back
                // along the inner one.
                formats::Element e;
                e.mat = 1;
                e.node = {id(w + 1, q, k),     id(w + 1, q + 1, k), id(w, q + 1, k),
                          id(w, q, k),         id(w + 1, q, k + 1), id(w + 1, q + 1, k + 1),
                          id(w, q + 1, k + 1), id(w, q, k + 1)};
                d.elements.push_back(e);
            }
}

}  // namespace mesh
