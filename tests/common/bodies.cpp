#include "bodies.hpp"

#include <cmath>
#include <sstream>

namespace testutil {

std::string Mesh::deck(const std::vector<std::string>& materials, const std::string& control,
                       const std::string& extra, const std::string& title) const {
    std::ostringstream s;
    s.precision(9);
    s << "sovr " << title << "\nnbmp " << x.size() << "\nnbel " << hex.size() << "\nnmat "
      << materials.size() << "\nncom " << ncom << "\n"
      << control << "\nmate\n";
    for (const std::string& m : materials) s << m << "\n";
    s << "part\n";
    for (size_t n = 0; n < x.size(); ++n)
        s << n + 1 << " " << comp[n] << " " << x[n][0] << " " << x[n][1] << " " << x[n][2] << "\n";
    s << "elem\n";
    for (size_t e = 0; e < hex.size(); ++e) {
        s << e + 1 << " " << mat[e];
        for (const int c : hex[e]) s << " " << c;
        s << "\n";
    }
    s << "velo\n";
    for (const auto& [c, v] : velocity)
        s << "comp " << c << " " << v[0] << " " << v[1] << " " << v[2] << "\n";
    s << "endv\n" << extra << "endi\n";
    return s.str();
}

std::vector<std::array<int, 8>> Body::hexes() const {
    std::vector<std::array<int, 8>> h;
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) h.push_back(corners(i, j, k));
    return h;
}

std::vector<std::array<int, 4>> Body::outer_faces() const {
    std::vector<std::array<int, 4>> f;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            for (const int k : {0, nz})
                f.push_back(
                    {node(i, j, k), node(i + 1, j, k), node(i + 1, j + 1, k), node(i, j + 1, k)});
    for (int k = 0; k < nz; ++k)
        for (int i = 0; i < nx; ++i)
            for (const int j : {0, ny})
                f.push_back(
                    {node(i, j, k), node(i + 1, j, k), node(i + 1, j, k + 1), node(i, j, k + 1)});
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (const int i : {0, nx})
                f.push_back(
                    {node(i, j, k), node(i, j + 1, k), node(i, j + 1, k + 1), node(i, j, k + 1)});
    return f;
}

std::string deck(std::vector<Body>& bodies, const std::vector<std::string>& materials,
                 const std::string& control, const std::string& extra) {
    const int nb = static_cast<int>(bodies.size());
    Mesh m;
    m.ncom = 2 * nb;
    for (int b = 0; b < nb; ++b) {
        Body& d = bodies[static_cast<size_t>(b)];
        d.first = static_cast<int>(m.x.size()) + 1;
        const double c = std::cos(d.tilt), sn = std::sin(d.tilt), r = 1.0 / std::sqrt(2.0);
        const Point3 u{r, r, 0.0};
        for (int k = 0; k <= d.nz; ++k)
            for (int j = 0; j <= d.ny; ++j)
                for (int i = 0; i <= d.nx; ++i) {
                    Point3 p{(i * 1.0 / d.nx - 0.5) * d.size[0], (j * 1.0 / d.ny - 0.5) * d.size[1],
                             (k * 1.0 / d.nz - 0.5) * d.size[2]};
                    // Rodrigues' rotation about u.
                    const Point3 x{u[1] * p[2] - u[2] * p[1], u[2] * p[0] - u[0] * p[2],
                                   u[0] * p[1] - u[1] * p[0]};
                    const double dot = u[0] * p[0] + u[1] * p[1] + u[2] * p[2];
                    Point3 q;
                    for (int a = 0; a < 3; ++a)
                        q[a] = d.origin[a] + 0.5 * d.size[a] + p[a] * c + x[a] * sn +
                               u[a] * dot * (1.0 - c);
                    m.node(q, k == 0 ? 1 + nb + b : 1 + b);
                }
    }
    for (const Body& d : bodies)
        for (const auto& h : d.hexes()) m.element(d.mat, h);
    for (int b = 0; b < nb; ++b)
        for (const int comp : {1 + b, 1 + nb + b})
            m.velocity.emplace_back(comp, bodies[static_cast<size_t>(b)].velocity);
    return m.deck(materials, control, extra);
}

Point3 natural(const Point3 x[8], const Point3& p) {
    static const int sg[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                 {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    double r[3] = {0.0, 0.0, 0.0};
    for (int it = 0; it < 20; ++it) {
        double f[3] = {-p[0], -p[1], -p[2]}, j[3][3] = {};
        for (int n = 0; n < 8; ++n) {
            const double a = 1 + sg[n][0] * r[0], b = 1 + sg[n][1] * r[1], c = 1 + sg[n][2] * r[2];
            const double N = a * b * c / 8,
                         d[3] = {sg[n][0] * b * c / 8, sg[n][1] * a * c / 8, sg[n][2] * a * b / 8};
            for (int i = 0; i < 3; ++i) {
                f[i] += N * x[n][i];
                for (int k = 0; k < 3; ++k) j[i][k] += d[k] * x[n][i];
            }
        }
        const double det = j[0][0] * (j[1][1] * j[2][2] - j[1][2] * j[2][1]) -
                           j[0][1] * (j[1][0] * j[2][2] - j[1][2] * j[2][0]) +
                           j[0][2] * (j[1][0] * j[2][1] - j[1][1] * j[2][0]);
        for (int k = 0; k < 3; ++k) {
            double m[3][3];
            for (int i = 0; i < 3; ++i)
                for (int c = 0; c < 3; ++c) m[i][c] = c == k ? f[i] : j[i][c];
            const double dk = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                              m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                              m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
            r[k] -= dk / det;
        }
    }
    return {r[0], r[1], r[2]};
}

bool inside(const Point3 x[8], const Point3& p, double margin) {
    const Point3 r = natural(x, p);
    const double lim = 1.0 - margin;
    return std::fabs(r[0]) < lim && std::fabs(r[1]) < lim && std::fabs(r[2]) < lim;
}

}  // namespace testutil
