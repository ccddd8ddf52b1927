// Builders of solver result files for the tests of their readers, of the
// export and of the plots: animation and curve files written the way the
// solver writes them, and a two-process model with its map.
#pragma once

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "testutil.hpp"
#include "texts.hpp"
#include "xml_check.hpp"

namespace resultfiles {

using testutil::d15;
using testutil::e12;
using testutil::write_file;

struct Zone {
    double time;
    std::vector<std::array<double, 3>> xyz;
};

inline std::string anim_text(const std::vector<Zone>& zones,
                             const std::vector<std::array<int, 8>>& conn) {
    std::string t =
        "TITLE = \"test" + std::string(56, ' ') + "\"\nVARIABLES= \"X\"   \"Y\"   \"Z\"  \n\n";
    for (size_t z = 0; z < zones.size(); ++z) {
        char h[160];
        std::snprintf(h, sizeof h,
                      "ZONE T=\"Time =%s\" F=FEPOINT N=%5zu E=%5zu ET=BRICK C=CYAN%s\n",
                      e12(zones[z].time).c_str(), zones[z].xyz.size(), conn.size(),
                      z ? " D=(FECONNECT)" : "");
        t += h;
        for (const auto& p : zones[z].xyz) t += e12(p[0]) + e12(p[1]) + e12(p[2]) + "\n";
        if (z == 0)
            for (const auto& el : conn) {
                for (int k : el) {
                    char b[16];
                    std::snprintf(b, sizeof b, "%7d", k);
                    t += b;
                }
                t += "\n";
            }
    }
    return t;
}

struct Curve {
    std::string var;  // four characters
    int element;
};

inline std::string curve_text(const std::vector<Curve>& curves,
                              const std::vector<std::vector<double>>& records) {
    std::string t = "TITLE = \"test" + std::string(56, ' ') + "\"\nVARIABLES= \"Time\"";
    for (const Curve& c : curves) {
        char b[32];
        std::snprintf(b, sizeof b, " \"%s at%6d\"", c.var.c_str(), c.element);
        t += b;
    }
    t += "\n\n";
    for (const auto& r : records) {
        t += d15(r[0]);
        for (size_t i = 0; i < curves.size(); ++i) {
            if (curves[i].var == "mat ") {
                char b[8];
                std::snprintf(b, sizeof b, "%3d", static_cast<int>(r[i + 1]));
                t += b;
            } else {
                t += d15(r[i + 1]);
            }
        }
        t += "\n";
    }
    return t;
}

// Two unit cubes side by side along x: global nodes 1..12, elements 1 and 2.
// Process 0 holds cube 1 in global numbering; process 1 holds cube 2 with
// local nodes 1..4 = global 9..12 and 5..8 = global 2, 3, 6, 7.
struct TwoCubes {
    std::vector<std::array<double, 3>> global = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                 {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1},
                                                 {2, 0, 0}, {2, 1, 0}, {2, 0, 1}, {2, 1, 1}};
    std::vector<int> local_a = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<int> local_b = {9, 10, 11, 12, 2, 3, 6, 7};
    std::vector<double> times = {0.0, 1.23456e-4, 2.46912e-4};

    // Position of global node g (1-based) in zone z.
    std::array<double, 3> at(int g, size_t z) const {
        const auto& p = global[static_cast<size_t>(g - 1)];
        const double s = static_cast<double>(z);
        return {p[0] + 1e-3 * s * g, p[1], p[2] - 2e-3 * s};
    }
    std::vector<Zone> zones(const std::vector<int>& local) const {
        std::vector<Zone> zs;
        for (size_t z = 0; z < times.size(); ++z) {
            Zone zn{times[z], {}};
            for (int g : local) zn.xyz.push_back(at(g, z));
            zs.push_back(zn);
        }
        return zs;
    }
    std::string map_text() const {
        std::string m =
            "hexdyn-map 1\nnprocs 2 nodes 12 elements 2\nproc 0 deck a nodes 8 elements 1\n";
        for (int g : local_a) m += std::to_string(g) + "\n";
        m += "1\nproc 1 deck b nodes 8 elements 1\n";
        for (int g : local_b) m += std::to_string(g) + "\n";
        return m + "2\n";
    }
    // Curve records: seqv of the process's element, engk, engs.
    std::vector<std::vector<double>> records(double scale) const {
        std::vector<std::vector<double>> r;
        for (size_t z = 0; z < times.size(); ++z)
            r.push_back({times[z], 1.5e8 * scale * static_cast<double>(z),
                         100.0 * scale + static_cast<double>(z),
                         2.5 * scale * static_cast<double>(z)});
        return r;
    }
    void write(const testutil::fs::path& dir) const {
        write_file(dir / "aresult_anim.dat", anim_text(zones(local_a), {{1, 2, 3, 4, 5, 6, 7, 8}}));
        write_file(dir / "bresult_anim.dat", anim_text(zones(local_b), {{5, 1, 2, 6, 7, 3, 4, 8}}));
        const std::vector<Curve> c = {{"seqv", 1}, {"engk", 1}, {"engs", 1}};
        write_file(dir / "aresult_curv.dat", curve_text(c, records(1.0)));
        write_file(dir / "bresult_curv.dat", curve_text(c, records(2.0)));
        write_file(dir / "hexdyn.map", map_text());
    }
};

inline std::vector<std::string> csv_row(const std::string& csv, size_t row) {
    size_t start = 0;
    for (size_t r = 0; r < row; ++r) start = csv.find('\n', start) + 1;
    const std::string line = csv.substr(start, csv.find('\n', start) - start);
    std::vector<std::string> f;
    size_t b = 0;
    for (;;) {
        const size_t c = line.find(',', b);
        f.push_back(line.substr(b, c == std::string::npos ? std::string::npos : c - b));
        if (c == std::string::npos) break;
        b = c + 1;
    }
    return f;
}

inline const xmlcheck::Node& data_array(const xmlcheck::Node& section, const std::string& name) {
    for (const xmlcheck::Node* d : section.all("DataArray"))
        if (d->attr("Name") == name) return *d;
    throw std::runtime_error("no DataArray " + name);
}

}  // namespace resultfiles
