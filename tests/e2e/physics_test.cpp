// Whole runs of the solver on small decks, checked against physics: momentum
// of a free body, energy of a free elastic bar, agreement of a mesh run on
// one process and split over two, and the stops and warnings of degenerate
// models.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

// ------------------------------------------------------------ deck pieces

// Node records of a bar of nx cubes of edge h along x: plane x = i*h holds
// nodes 4i+1 (y=0,z=0), 4i+2 (y=h,z=0), 4i+3 (y=h,z=h), 4i+4 (y=0,z=h);
// `first` shifts the plane index (for the part of a bar held by a process).
struct Node {
    int n;
    double x, y, z;
};

std::vector<Node> barnodes(int nx, double h, int first = 0) {
    std::vector<Node> nodes;
    for (int i = 0; i <= nx; ++i) {
        const double x = (first + i) * h;
        const int n = 4 * i;
        nodes.push_back({n + 1, x, 0.0, 0.0});
        nodes.push_back({n + 2, x, h, 0.0});
        nodes.push_back({n + 3, x, h, h});
        nodes.push_back({n + 4, x, 0.0, h});
    }
    return nodes;
}

std::array<int, 8> barcorners(int i) {
    const int a = 4 * i, b = 4 * (i + 1);
    return {a + 1, b + 1, b + 2, a + 2, a + 4, b + 4, b + 3, a + 3};
}

std::string partblock(const std::vector<Node>& nodes) {
    std::ostringstream s;
    s << "part\n";
    for (const Node& n : nodes)
        s << n.n << " 0 " << deck_real(n.x) << " " << deck_real(n.y) << " " << deck_real(n.z)
          << "\n";
    return s.str();
}

std::string elemblock(int nx) {
    std::ostringstream s;
    s << "elem\n";
    for (int i = 0; i < nx; ++i) {
        s << i + 1 << " 1";
        for (int c : barcorners(i)) s << " " << c;
        s << "\n";
    }
    return s.str();
}

struct Vec {
    int n;
    double x, y, z;
};

std::string vectorblock(const char* kw, const char* end, const std::vector<Vec>& v) {
    std::ostringstream s;
    s << kw << "\n";
    for (const Vec& e : v)
        s << "node " << e.n << " " << deck_real(e.x) << " " << deck_real(e.y) << " "
          << deck_real(e.z) << "\n";
    s << end << "\n";
    return s.str();
}

// ------------------------------------------------------------ result files

struct Zone {
    double time;
    std::vector<std::array<double, 3>> pos;
    std::vector<std::string> lines;  // node records as written
};

double fortranreal(std::string s) {
    std::replace(s.begin(), s.end(), 'D', 'E');
    // A three-digit exponent takes the place of the letter: 0.1+100.
    const size_t p = s.find_last_of("+-");
    if (p != std::string::npos && p > 0 && s[p - 1] != 'E' && s.find('E') == std::string::npos)
        s.insert(p, "E");
    return std::strtod(s.c_str(), nullptr);
}

std::vector<Zone> readanim(const fs::path& file) {
    const std::vector<std::string> lines = lines_of(read_file(file));
    std::vector<Zone> zones;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.rfind("ZONE T=\"Time =", 0) != 0) continue;
        Zone z;
        z.time = fortranreal(l.substr(14, 12));
        const size_t np = std::stoul(l.substr(l.find(" N=") + 3, 5));
        for (size_t k = 0; k < np && i + 1 + k < lines.size(); ++k) {
            const std::string& r = lines[i + 1 + k];
            z.lines.push_back(r);
            z.pos.push_back({fortranreal(r.substr(0, 12)), fortranreal(r.substr(12, 12)),
                             fortranreal(r.substr(24, 12))});
        }
        zones.push_back(std::move(z));
    }
    return zones;
}

// Data records of a curve file: the values of each record, and the records
// as written.
struct Curves {
    std::vector<std::vector<double>> rows;
    std::vector<std::string> lines;
};

Curves readcurves(const fs::path& file) {
    const std::vector<std::string> lines = lines_of(read_file(file));
    Curves c;
    for (size_t i = 3; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        std::vector<double> row;
        for (size_t p = 0; p + 15 <= l.size(); p += 15) row.push_back(fortranreal(l.substr(p, 15)));
        c.rows.push_back(row);
        c.lines.push_back(l);
    }
    return c;
}

// Steel-like elastic material: density 8000 (a unit cube gives 1000 per node).
const char* const kSteel = "mate\n1 elas 8000.0 2.0e11 0.3\n";

}  // namespace

// A free cube with a non-uniform initial velocity deforms and spins, but its
// centre of mass moves with the initial mean velocity (equal nodal masses).
TEST(Physics, FreeBlockKeepsItsMomentum) {
    TempDir dir("momentum");
    const std::vector<Node> nodes = barnodes(1, 1.0);
    std::vector<Vec> vel;
    for (const Node& n : nodes) vel.push_back({n.n, 10.0, 0.0, 0.0});
    vel[6] = {7, 10.0, 4.0, -1.0};  // corner 7 of the cube
    vel[0] = {1, 12.0, -2.0, 3.0};  // corner 1
    const double mean[3] = {(8 * 10.0 + 2.0) / 8, 2.0 / 8, 2.0 / 8};
    std::ostringstream d;
    d << "sovr free block\nnbmp 8\nnbel 1\nnmat 1\n"
      << "endt 0.02\noutt 0.0\nrepo 1000\ndtsc 0.5\n"
      << kSteel << partblock(nodes) << elemblock(1) << vectorblock("velo", "endv", vel)
      << "curv engk 1\nendi\n";
    write_single_run(dir.path(), d.str());
    const RunResult r = run_hexdyn(dir.path(), 1, 120);
    ASSERT_EQ(r.status, 0) << r.out;

    const std::vector<Zone> zones = readanim(dir / "aresult_anim.dat");
    ASSERT_GT(zones.size(), 100u);
    double c0[3] = {0.5, 0.5, 0.5};
    // The positions of zone k are those at the time of zone k+1.
    double maxdev = 0.0, maxspread = 0.0;
    for (size_t k = 0; k + 1 < zones.size(); ++k) {
        const double t = zones[k + 1].time;
        for (int i = 0; i < 3; ++i) {
            double c = 0.0;
            for (const auto& p : zones[k].pos) c += p[static_cast<size_t>(i)];
            c /= 8.0;
            maxdev = std::max(maxdev, std::fabs(c - (c0[i] + mean[i] * t)));
        }
        // The body does deform: the corners do not simply translate.
        const double d17 = zones[k].pos[6][1] - zones[k].pos[0][1];
        maxspread = std::max(maxspread, std::fabs(d17 - 1.0));
    }
    // Coordinates are written with 5 significant digits.
    EXPECT_LT(maxdev, 2.0e-4);
    EXPECT_GT(maxspread, 2.0e-3);
    // The kinetic energy stays finite and positive.
    const Curves c = readcurves(dir / "aresult_curv.dat");
    ASSERT_FALSE(c.rows.empty());
    for (const auto& row : c.rows) {
        ASSERT_EQ(row.size(), 2u);
        EXPECT_TRUE(std::isfinite(row[1]) && row[1] > 0.0);
    }
}

// A free elastic bar started with a velocity varying linearly along it
// (stretching about its middle), without hourglass control and with a small
// step: kinetic plus strain energy stays constant while energy moves back and
// forth between the two over several wave transits.
TEST(Physics, FreeElasticBarConservesEnergy) {
    TempDir dir("energy");
    const int nx = 10;
    const double L = 10.0, v0 = 1.0;
    const std::vector<Node> nodes = barnodes(nx, 1.0);
    std::vector<Vec> vel;
    for (const Node& n : nodes) vel.push_back({n.n, v0 * (2.0 * n.x / L - 1.0), 0.0, 0.0});
    // Dilatational wave speed about 5800: one transit of the bar ~ 1.7e-3.
    std::ostringstream d;
    d << "sovr energy\nnbmp " << nodes.size() << "\nnbel " << nx << "\nnmat 1\n"
      << "endt 7.0e-3\noutt 2.0e-5\nrepo 100000\ndtsc 0.05\nhour 0 0.0\n"
      << kSteel << partblock(nodes) << elemblock(nx) << vectorblock("velo", "endv", vel)
      << "curv ener 1\ncurv engs 1\ncurv engk 1\nendi\n";
    write_single_run(dir.path(), d.str());
    const RunResult r = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(r.status, 0) << r.out;

    const Curves c = readcurves(dir / "aresult_curv.dat");
    ASSERT_GT(c.rows.size(), 300u);
    // Initial kinetic energy: sum of m v^2 / 2 with 1000 per end node, 2000
    // per inner node (the first record's kinetic energy is exact).
    double ke0 = 0.0;
    for (const Node& n : nodes) {
        const double m = (n.x == 0.0 || n.x == L) ? 1000.0 : 2000.0;
        const double v = v0 * (2.0 * n.x / L - 1.0);
        ke0 += 0.5 * m * v * v;
    }
    EXPECT_NEAR(c.rows[0][3], ke0, 1e-5 * ke0);
    double maxdev = 0.0, maxstrain = 0.0, minkin = ke0;
    for (const auto& row : c.rows) {
        ASSERT_EQ(row.size(), 4u);
        maxdev = std::max(maxdev, std::fabs(row[1] - ke0) / ke0);
        maxstrain = std::max(maxstrain, row[2]);
        minkin = std::min(minkin, row[3]);
    }
    EXPECT_LT(maxdev, 0.015);
    // The energy does change form.
    EXPECT_GT(maxstrain, 0.5 * ke0);
    EXPECT_LT(minkin, 0.5 * ke0);
    EXPECT_GT(c.rows.back()[0], 6.9e-3);
}

// ------------------------------------------------- one process against two

namespace {

// A two-cube bar in one deck, or split into two decks of one cube each that
// share the 4 nodes of the middle plane. Every node gets its own initial
// velocity (the same in every deck that holds it), and a far-end node of the
// second cube a load, so that the elements stretch, shear, spin and yield.
struct Split {
    std::string single, a, b, comm;
};

std::array<double, 3> initialvelocity(const Node& n) {
    // A smooth field in the node's global position, far from uniform.
    return {30.0 * std::sin(1.3 * n.x + 0.7 * n.y) - 5.0 * n.z,
            20.0 * std::cos(0.9 * n.x - 1.1 * n.z) + 4.0 * n.y,
            15.0 * std::sin(0.5 + n.x * n.y - 2.0 * n.z)};
}

std::string deckof(const std::vector<Node>& nodes, int nx, const std::vector<Vec>& loads,
                   const std::string& curves) {
    std::vector<Vec> vel;
    for (const Node& n : nodes) {
        const auto v = initialvelocity(n);
        vel.push_back({n.n, v[0], v[1], v[2]});
    }
    std::ostringstream d;
    d << "sovr split\nnbmp " << nodes.size() << "\nnbel " << nx << "\nnmat 1\n"
      << "endt 4.0e-3\noutt 0.0\nrepo 100000\ndtsc 0.5\nhour 1 0.1\n"
      << "time 3 0.0 0.0 1.0e-3 1.0 1.0 1.0\n"
      << "mate\n1 pla2 7800.0 2.1e11 0.3 2.0e8 2.0e9\n"
      << partblock(nodes) << elemblock(nx) << vectorblock("velo", "endv", vel);
    if (!loads.empty()) d << vectorblock("load", "endl", loads);
    d << curves << "endi\n";
    return d.str();
}

Split splitbar() {
    Split s;
    const std::vector<Vec> load = {{11, 0.0, 2.0e7, -1.0e7}};  // node (2,1,1) of the whole bar
    s.single = deckof(barnodes(2, 1.0), 2, load,
                      "curv seqv 1\ncurv sm 1\ncurv epef 1\ncurv seqv 2\ncurv sm 2\ncurv epef 2\n");
    s.a = deckof(barnodes(1, 1.0, 0), 1, {}, "curv seqv 1\ncurv sm 1\ncurv epef 1\n");
    // Node 11 of the whole bar is local node 7 of the second part.
    s.b = deckof(barnodes(1, 1.0, 1), 1, {{7, 0.0, 2.0e7, -1.0e7}},
                 "curv seqv 1\ncurv sm 1\ncurv epef 1\n");
    // Middle plane: whole-bar nodes 5-8 are nodes 5-8 of part a and 1-4 of part b.
    s.comm = "4\n5 6 7 8\n1 2 3 4\n";
    return s;
}

// Writes the split bar as a single-process run into `one` and as a run of
// two processes into `two`.
void writesplit(const Split& s, const TempDir& one, const TempDir& two) {
    write_single_run(one.path(), s.single);
    write_file(two / "Comm", s.comm);
    write_file(two / "a", s.a);
    write_file(two / "b", s.b);
}

// Global node number of local node k of process p.
int globalnode(int p, int k) { return p == 0 ? k : k + 4; }

struct Dump {
    std::vector<std::vector<double>> nodes;  // x y z vx vy vz
    std::vector<std::vector<double>> elems;  // sm sd(6) seqv sig_y epeff vol0
    std::string head;
};

Dump readdump(const fs::path& file) {
    Dump d;
    for (const std::string& l : lines_of(read_file(file))) {
        std::istringstream in(l);
        std::string kind;
        in >> kind;
        if (kind == "time") {
            d.head = l;
            continue;
        }
        int id;
        in >> id;
        std::vector<double> v;
        double x;
        while (in >> x) v.push_back(x);
        (kind == "node" ? d.nodes : d.elems).push_back(v);
    }
    return d;
}

void expect_close(const std::vector<double>& a, const std::vector<double>& b, double scale,
                  const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_LE(std::fabs(a[i] - b[i]),
                  1e-12 * std::max({std::fabs(a[i]), std::fabs(b[i]), scale}))
            << what << " field " << i << ": " << a[i] << " vs " << b[i];
}

}  // namespace

// The result files of the split run agree as text with those of the single
// run: node records of the zones, and the stress curves of each element.
TEST(Physics, SplitMeshMatchesSingleProcessInResultFiles) {
    const Split s = splitbar();
    TempDir one("split1"), two("split2");
    writesplit(s, one, two);
    const RunResult r1 = run_hexdyn(one.path(), 1, 120);
    ASSERT_EQ(r1.status, 0) << r1.out;
    const RunResult r2 = run_hexdyn(two.path(), 2, 180);
    ASSERT_FALSE(r2.timed_out) << r2.out;
    ASSERT_EQ(r2.status, 0) << r2.out;

    const std::vector<Zone> z1 = readanim(one / "aresult_anim.dat");
    const std::vector<Zone> za = readanim(two / "aresult_anim.dat");
    const std::vector<Zone> zb = readanim(two / "bresult_anim.dat");
    ASSERT_GT(z1.size(), 20u);
    ASSERT_EQ(za.size(), z1.size());
    ASSERT_EQ(zb.size(), z1.size());
    for (size_t k = 0; k < z1.size(); ++k) {
        ASSERT_EQ(za[k].lines.size(), 8u);
        ASSERT_EQ(zb[k].lines.size(), 8u);
        for (int n = 1; n <= 8; ++n) {
            EXPECT_EQ(za[k].lines[static_cast<size_t>(n - 1)],
                      z1[k].lines[static_cast<size_t>(globalnode(0, n) - 1)])
                << "zone " << k << " node " << n << " of a";
            EXPECT_EQ(zb[k].lines[static_cast<size_t>(n - 1)],
                      z1[k].lines[static_cast<size_t>(globalnode(1, n) - 1)])
                << "zone " << k << " node " << n << " of b";
        }
    }
    // The body did move and deform.
    EXPECT_NE(z1.front().lines, z1.back().lines);

    const Curves c1 = readcurves(one / "aresult_curv.dat");
    const Curves ca = readcurves(two / "aresult_curv.dat");
    const Curves cb = readcurves(two / "bresult_curv.dat");
    ASSERT_EQ(ca.lines.size(), c1.lines.size());
    ASSERT_EQ(cb.lines.size(), c1.lines.size());
    bool yielded = false;
    for (size_t k = 0; k < c1.lines.size(); ++k) {
        // time + 3 curves of element 1 | 3 curves of element 2
        const std::string& l = c1.lines[k];
        constexpr size_t w = 15;  // column width of a curve value
        ASSERT_EQ(l.size(), 7 * w);
        EXPECT_EQ(ca.lines[k], l.substr(0, 4 * w)) << "record " << k;
        EXPECT_EQ(cb.lines[k], l.substr(0, w) + l.substr(4 * w, 3 * w)) << "record " << k;
        if (c1.rows[k][3] > 0.0 && c1.rows[k][6] > 0.0) yielded = true;
    }
    EXPECT_TRUE(yielded) << "both elements should yield";
}

// The same comparison at full precision, through the test binary that runs
// the solver in-process and writes its final state.
TEST(Physics, SplitMeshMatchesSingleProcessAtFullPrecision) {
    const std::string runner = exe("tests/hexdyn_unit_tests");
    if (!fs::exists(runner)) GTEST_SKIP() << "in-process runner not built: " << runner;
    const Split s = splitbar();
    TempDir one("dump1"), two("dump2");
    writesplit(s, one, two);
    auto run = [&](const fs::path& d, int np) {
        return run_command("HEXDYN_RUN_DUMP=1 " + mpiexec() + " -n " + std::to_string(np) + " " +
                               runner + " --gtest_filter=RunDump.WholeRunStateAtFullPrecision",
                           d, 180);
    };
    const RunResult r1 = run(one.path(), 1);
    ASSERT_EQ(r1.status, 0) << r1.out;
    const RunResult r2 = run(two.path(), 2);
    ASSERT_FALSE(r2.timed_out) << r2.out;
    ASSERT_EQ(r2.status, 0) << r2.out;

    const Dump d1 = readdump(one / "dump0.txt");
    const Dump da = readdump(two / "dump0.txt");
    const Dump db = readdump(two / "dump1.txt");
    ASSERT_EQ(d1.nodes.size(), 12u);
    ASSERT_EQ(d1.elems.size(), 2u);
    ASSERT_EQ(da.nodes.size(), 8u);
    ASSERT_EQ(db.nodes.size(), 8u);
    ASSERT_EQ(da.elems.size(), 1u);
    ASSERT_EQ(db.elems.size(), 1u);
    // Same number of steps, same end time.
    EXPECT_EQ(da.head, d1.head);
    EXPECT_EQ(db.head, d1.head);
    for (int n = 1; n <= 8; ++n) {
        expect_close(da.nodes[static_cast<size_t>(n - 1)],
                     d1.nodes[static_cast<size_t>(globalnode(0, n) - 1)], 1.0,
                     "node " + std::to_string(n) + " of a");
        expect_close(db.nodes[static_cast<size_t>(n - 1)],
                     d1.nodes[static_cast<size_t>(globalnode(1, n) - 1)], 1.0,
                     "node " + std::to_string(n) + " of b");
    }
    const double sscale = 1.0e3;  // stresses of order 1e8; absolute floor far below
    expect_close(da.elems[0], d1.elems[0], sscale, "element 1");
    expect_close(db.elems[0], d1.elems[1], sscale, "element 2");
    EXPECT_GT(d1.elems[0][9], 0.0);  // plastic strain: element 1 yielded
    EXPECT_GT(d1.elems[1][9], 0.0);
}

// ------------------------------------------------------- degenerate models

TEST(Physics, FlatElementStopsWithItsNumber) {
    struct Case {
        const char* name;
        int nbel;
        std::string nodes, elems;
        const char* line;
    };
    std::ostringstream flat, mixed;
    const std::vector<Node> cube = barnodes(1, 1.0);
    flat << "part\n";
    for (const Node& n : cube)
        flat << n.n << " 0 " << deck_real(n.x) << " " << deck_real(n.y) << " 0.0\n";
    mixed << partblock(cube);
    for (const Node& n : cube)
        mixed << n.n + 8 << " 0 " << deck_real(n.x + 3.0) << " " << deck_real(n.y) << " 2.0\n";
    const std::string nodes16 = mixed.str();
    const Case cases[] = {
        {"single flat element", 1, flat.str(), elemblock(1),
         " *** Error *** element 1 is folded or degenerate at corner 1 (corner Jacobian "
         "0.0000000000000000E+00, element orientation not positive)"},
        {"second element flat", 2, nodes16, elemblock(1) + "2 1 9 10 11 12 13 14 15 16\n",
         " *** Error *** element 2 is folded or degenerate at corner 1 (corner Jacobian "
         "0.0000000000000000E+00, element orientation not positive)"},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.name);
        TempDir dir("flat");
        const int nbmp = cs.nbel == 1 ? 8 : 16;
        std::ostringstream d;
        d << "sovr flat\nnbmp " << nbmp << "\nnbel " << cs.nbel << "\nnmat 1\nendt 1.0e-3\n"
          << kSteel << cs.nodes << cs.elems << "endi\n";
        write_single_run(dir.path(), d.str());
        const RunResult r = run_hexdyn(dir.path(), 1, 60);
        EXPECT_NE(r.status, 0) << r.out;
        EXPECT_EQ(count_of(r.out, std::string(cs.line) + "\n"), 1u) << r.out;
        EXPECT_EQ(r.out.find("Step="), std::string::npos) << r.out;
    }
}

// A node that no element holds has no mass: it gets zero acceleration (even
// under a load), moves with its initial velocity, and the run warns once.
TEST(Physics, ZeroMassNodeWarnsOnceAndDoesNotAccelerate) {
    TempDir dir("zeromass");
    std::vector<Node> nodes = barnodes(1, 1.0);
    nodes.push_back({9, 5.0, 5.0, 5.0});
    const std::vector<Vec> vel = {{9, 2.0, 0.0, 0.0}, {3, 0.5, 0.0, 0.0}};
    const std::vector<Vec> load = {{9, 1.0e6, -1.0e6, 3.0e5}};
    std::ostringstream d;
    d << "sovr zero mass\nnbmp 9\nnbel 1\nnmat 1\nendt 0.01\noutt 0.0\nrepo 1000\ndtsc 0.5\n"
      << "time 2 0.0 1.0 1.0 1.0\n"
      << kSteel << partblock(nodes) << elemblock(1) << vectorblock("velo", "endv", vel)
      << vectorblock("load", "endl", load) << "endi\n";
    write_single_run(dir.path(), d.str());
    const RunResult r = run_hexdyn(dir.path(), 1, 120);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(count_of(r.out, "*** Warning ***"), 1u) << r.out;
    EXPECT_EQ(count_of(r.out,
                       " *** Warning *** 1 node(s) of process 0 have zero mass; their acceleration "
                       "is set to zero\n"),
              1u)
        << r.out;

    const std::string anim = read_file(dir / "aresult_anim.dat");
    EXPECT_EQ(anim.find("NaN"), std::string::npos);
    EXPECT_EQ(anim.find("nan"), std::string::npos);
    const std::vector<Zone> zones = readanim(dir / "aresult_anim.dat");
    ASSERT_GT(zones.size(), 20u);
    for (size_t k = 0; k + 1 < zones.size(); ++k) {
        const auto& p = zones[k].pos[8];
        EXPECT_NEAR(p[0], 5.0 + 2.0 * zones[k + 1].time, 1e-4) << "zone " << k;
        EXPECT_EQ(p[1], 5.0);
        EXPECT_EQ(p[2], 5.0);
    }
}
