// Runs under several processes: the exchange of shared nodes, the common
// time step, the deck names of the processes, the "Comm" file and its
// errors, and a job in which one process stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

// Splits a curve file into its data records, each cut into fields: the time
// (15 columns) and then fields of the given widths.
std::vector<std::vector<std::string>> curverecords(const std::string& text,
                                                   const std::vector<int>& widths) {
    std::vector<std::vector<std::string>> r;
    const std::vector<std::string> l = lines_of(text);
    for (size_t i = 3; i < l.size(); ++i) {
        std::vector<std::string> f;
        size_t p = 0;
        f.push_back(l[i].substr(p, 15));
        p += 15;
        for (int w : widths) {
            f.push_back(l[i].substr(p, static_cast<size_t>(w)));
            p += static_cast<size_t>(w);
        }
        EXPECT_EQ(p, l[i].size()) << l[i];
        r.push_back(f);
    }
    return r;
}

// The zones of an animation file: node records of each zone.
struct animzones {
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> nodes;
    std::vector<std::string> connectivity;  // of the first zone
};

animzones zones(const std::string& text, int nnodes, int nelements) {
    animzones z;
    const std::vector<std::string> l = lines_of(text);
    size_t i = 3;
    while (i < l.size()) {
        z.headers.push_back(l[i++]);
        std::vector<std::string> n;
        for (int k = 0; k < nnodes && i < l.size(); ++k) n.push_back(l[i++]);
        z.nodes.push_back(n);
        if (z.headers.size() == 1)
            for (int e = 0; e < nelements && i < l.size(); ++e) z.connectivity.push_back(l[i++]);
    }
    return z;
}

const char* const kFunction = "time 2 0.0 1.0 100.0 1.0\n";

// ---------------------------------------------------------------------------

// Two processes, one brick each, sharing the face x = 3. The bricks differ in
// density (nodal shares 0.5 and 0.25, so a shared node has 0.75 once summed)
// and both have wave speed 16 and step 1/16. The loads are proportional to
// the summed masses, including a load on the shared nodes split over both
// decks (2 + 4), so that every node accelerates at 8 in x: the body moves
// rigidly and every number is exact.
TEST(Parallel, SharedNodesSumMassesOnceAndForcesEveryStep) {
    TempDir dir("par-shared");
    const std::string common =
        "nbmp 8\nnbel 1\nnmat 1\nncom 1\ndtsc 1.0\nendt 0.125\nrepo 1\n" + std::string(kFunction);
    write_file(dir / "a", "sovr left brick\n" + common + "mate\n1 elas 4.0 1024.0 0.0\npart\n" +
                              brick(1, 2.0, 0.0, 0.0, 1.0, 1) +
                              "elem\n1 1 1 2 3 4 5 6 7 8\n"
                              "load\nnode 1 4.0 0.0 0.0\nnode 4 4.0 0.0 0.0\nnode 5 4.0 0.0 0.0\n"
                              "node 8 4.0 0.0 0.0\nnode 2 2.0 0.0 0.0\nnode 3 2.0 0.0 0.0\n"
                              "node 6 2.0 0.0 0.0\nnode 7 2.0 0.0 0.0\nendl\n"
                              "velo\ncomp 1 1.0 0.0 -0.5\nendv\ncurv engk\ncurv vol 1\nendi\n");
    write_file(dir / "b", "sovr right brick\n" + common + "mate\n1 elas 2.0 512.0 0.0\npart\n" +
                              brick(1, 3.0, 0.0, 0.0, 1.0, 1) +
                              "elem\n1 1 1 2 3 4 5 6 7 8\n"
                              "load\nnode 1 4.0 0.0 0.0\nnode 4 4.0 0.0 0.0\nnode 5 4.0 0.0 0.0\n"
                              "node 8 4.0 0.0 0.0\nnode 2 2.0 0.0 0.0\nnode 3 2.0 0.0 0.0\n"
                              "node 6 2.0 0.0 0.0\nnode 7 2.0 0.0 0.0\nendl\n"
                              "velo\ncomp 1 1.0 0.0 -0.5\nendv\ncurv engk\ncurv vol 1\nendi\n");
    write_file(dir / "Comm", "4\n2 3 6 7\n1 4 5 8\n");
    RunResult r = run_hexdyn(dir.path(), 2, 60);
    ASSERT_EQ(r.status, 0) << r.out;

    // Displacements after steps 1, 2, 3 of 1/16 with acceleration 8 in x
    // from the velocity (1, 0, -0.5).
    const double dx[3] = {0.078125, 0.1875, 0.328125};
    const double dz[3] = {-0.03125, -0.0625, -0.09375};
    const double t[3] = {0.0, 0.0625, 0.125};
    // Kinetic energy of each process at the start of each step: on step 1 the
    // shared nodes carry only the process's own share of the mass.
    const double ke[2][3] = {{2.5, 4.53125, 8.28125}, {1.25, 3.625, 6.625}};
    const double x0[2] = {2.0, 3.0};
    const char* names[2] = {"a", "b"};
    for (int p = 0; p < 2; ++p) {
        SCOPED_TRACE(names[p]);
        auto rec =
            curverecords(read_file(dir / (std::string(names[p]) + "result_curv.dat")), {15, 15});
        ASSERT_EQ(rec.size(), 3u);
        for (int s = 0; s < 3; ++s) {
            EXPECT_EQ(rec[s][0], d15(t[s]));
            EXPECT_EQ(rec[s][1], d15(ke[p][s])) << "step " << s + 1;
            EXPECT_EQ(rec[s][2], "   0.100000D+01");
        }
        animzones z = zones(read_file(dir / (std::string(names[p]) + "result_anim.dat")), 8, 1);
        ASSERT_EQ(z.nodes.size(), 3u);
        EXPECT_EQ(z.connectivity, std::vector<std::string>{
                                      "      1      2      3      4      5      6      7      8"});
        const auto& c = unit_corner;
        for (int s = 0; s < 3; ++s)
            for (int k = 0; k < 8; ++k)
                EXPECT_EQ(z.nodes[s][k],
                          e12(x0[p] + c[k][0] + dx[s]) + e12(c[k][1]) + e12(c[k][2] + dz[s]))
                    << "step " << s + 1 << " node " << k + 1;
    }
    // Progress lines from process 0 only, with the model's kinetic energy:
    // on step 1 the two processes' own shares of the shared masses add up
    // (2.5 + 1.25); from then on a shared node counts once, the mass of the
    // model being 6 (v^2 = 3.3125 at the start of step 3).
    EXPECT_EQ(count_of(r.out, " Step="), 3u) << r.out;
    EXPECT_NE(
        r.out.find(" Step=     1  T=0.000E+00  DT=6.250E-02  EDist=1.000E+00  K.E.=3.750E+00"),
        std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find(" Step=     3  T=1.250E-01  DT=6.250E-02  EDist=1.000E+00  K.E.=9.938E+00"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(count_of(r.out, "Myid="), 2u);
    EXPECT_EQ(count_of(r.out, "solving..."), 1u);
    EXPECT_EQ(count_of(r.out, "** Timefor computation is"), 1u);
}

// The progress line shows the kinetic energy of the whole model, also when
// process 0 holds only a body at rest: a plate on process 0, a brick moving
// at 2 (mass 4, so 8) on process 1 and a brick at 1 (mass 2, so 1) on
// process 2, with no shared node. The curve file keeps each process's own.
TEST(Parallel, ProgressLineShowsTheKineticEnergyOfTheModel) {
    TempDir dir("par-kinetic");
    const std::string common =
        "nbmp 8\nnbel 1\nnmat 1\nncom 1\nendt 0.1\nrepo 1\n" + std::string(kFunction) + "part\n";
    const std::string elem = "elem\n1 1 1 2 3 4 5 6 7 8\n";
    write_file(dir / "a", "sovr plate at rest\n" + common + brick(1, 0.0, 0.0, -1.0, 1.0, 1) +
                              "mate\n1 elas 4.0 1024.0 0.0\n" + elem + "curv engk\nendi\n");
    write_file(dir / "b", "sovr moving brick\n" + common + brick(1, 0.0, 0.0, 2.0, 1.0, 1) +
                              "mate\n1 elas 4.0 1024.0 0.0\n" + elem +
                              "velo\ncomp 1 0.0 0.0 2.0\nendv\ncurv engk\nendi\n");
    write_file(dir / "c", "sovr slower brick\n" + common + brick(1, 0.0, 0.0, 5.0, 1.0, 1) +
                              "mate\n1 elas 2.0 512.0 0.0\n" + elem +
                              "velo\ncomp 1 1.0 0.0 0.0\nendv\ncurv engk\nendi\n");
    write_file(dir / "Comm", "0\n\n\n\n");
    const RunResult r = run_hexdyn(dir.path(), 3, 60);
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<std::string> steps;
    for (const std::string& l : lines_of(r.out))
        if (l.rfind(" Step=", 0) == 0) steps.push_back(l);
    ASSERT_GE(steps.size(), 2u) << r.out;
    // Free bodies keep their energy: 8 + 1 at every report.
    for (const std::string& l : steps) EXPECT_EQ(l.substr(l.size() - 14), "K.E.=9.000E+00") << l;
    const double own[3] = {0.0, 8.0, 1.0};
    const char* names[3] = {"a", "b", "c"};
    for (int p = 0; p < 3; ++p) {
        auto rec = curverecords(read_file(dir / (std::string(names[p]) + "result_curv.dat")), {15});
        ASSERT_FALSE(rec.empty()) << names[p];
        EXPECT_EQ(rec[0][1], d15(own[p])) << names[p];
    }
}

// Four processes against the same model on one process. Brick A (process 0)
// and brick B (process 1) share a face; process 2 has no element and holds
// one copy of a shared node; process 3 has a separate smaller brick C whose
// step governs everybody. Slots 1, 3 and 4 exist on two processes only.
// Without hourglass forces each shared force is one sum of the same terms in
// both runs, so the results agree to the last bit.
TEST(Parallel, FourProcessesAgreeWithTheUnsplitModel) {
    TempDir par("par-four");
    TempDir ser("par-serial");
    const std::string control = "dtsc 0.9\nhour 0 0.0\nendt 0.3\nrepo 1\n" + std::string(kFunction);
    const std::string mat = "nmat 1\nmate\n1 elas 1.0 256.0 0.3\n";
    write_file(par / "a", "sovr brick A\nnbmp 8\nnbel 1\n" + control + mat + "part\n" +
                              brick(1, 2.0, 0.0, 0.0, 1.0) +
                              "elem\n1 1 1 2 3 4 5 6 7 8\nload\nnode 3 0.0 5.0 0.0\nendl\n"
                              "curv seqv 1\ncurv sm 1\nendi\n");
    write_file(par / "b",
               "sovr brick B\nnbmp 8\nnbel 1\n" + control + mat + "part\n" +
                   brick(1, 3.0, 0.0, 0.0, 1.0) +
                   "elem\n1 1 1 2 3 4 5 6 7 8\n"
                   "velo\nnode 2 -2.0 0.0 0.0\nnode 3 -2.0 0.0 0.0\nnode 6 -2.0 0.0 0.0\n"
                   "node 7 -2.0 0.0 0.0\nendv\ncurv seqv 1\ncurv sm 1\nendi\n");
    write_file(par / "c", "sovr copy of a shared node\nnbmp 1\n" + control +
                              "part\n1 0 3.0 1.0 0.0\n"
                              "curv engk\nendi\n");
    write_file(par / "d", "sovr brick C\nnbmp 8\nnbel 1\nncom 1\n" + control + mat + "part\n" +
                              brick(1, 10.0, 0.0, 0.0, 0.5, 1) +
                              "elem\n1 1 1 2 3 4 5 6 7 8\nvelo\ncomp 1 0.5 0.0 0.0\nendv\n"
                              "curv vol 1\ncurv engk\nendi\n");
    write_file(par / "Comm", "4\n2 3 6 7\n1 4 5 8\n0 1 0 0\n0 0 0 0\n");

    write_file(ser / "a",
               "sovr all bricks\nnbmp 20\nnbel 3\nncom 1\n" + control + mat + "part\n" +
                   brick(1, 2.0, 0.0, 0.0, 1.0) +
                   "9 0 4.0 0.0 0.0\n10 0 4.0 1.0 0.0\n11 0 4.0 0.0 1.0\n12 0 4.0 1.0 1.0\n" +
                   brick(13, 10.0, 0.0, 0.0, 0.5, 1) +
                   "elem\n1 1 1 2 3 4 5 6 7 8\n2 1 2 9 10 3 6 11 12 7\n"
                   "3 1 13 14 15 16 17 18 19 20\n"
                   "load\nnode 3 0.0 5.0 0.0\nendl\n"
                   "velo\nnode 9 -2.0 0.0 0.0\nnode 10 -2.0 0.0 0.0\nnode 11 -2.0 0.0 0.0\n"
                   "node 12 -2.0 0.0 0.0\ncomp 1 0.5 0.0 0.0\nendv\n"
                   "curv seqv 1\ncurv sm 1\ncurv seqv 2\ncurv sm 2\ncurv vol 3\nendi\n");
    write_file(ser / "Comm", "0\n\n");

    RunResult rp = run_hexdyn(par.path(), 4, 90);
    ASSERT_EQ(rp.status, 0) << rp.out;
    RunResult rs = run_hexdyn(ser.path(), 1, 60);
    ASSERT_EQ(rs.status, 0) << rs.out;

    auto s = curverecords(read_file(ser / "aresult_curv.dat"), {15, 15, 15, 15, 15});
    auto a = curverecords(read_file(par / "aresult_curv.dat"), {15, 15});
    auto b = curverecords(read_file(par / "bresult_curv.dat"), {15, 15});
    auto c = curverecords(read_file(par / "cresult_curv.dat"), {15});
    auto d = curverecords(read_file(par / "dresult_curv.dat"), {15, 15});
    ASSERT_GE(s.size(), 10u);
    ASSERT_EQ(a.size(), s.size());
    ASSERT_EQ(b.size(), s.size());
    ASSERT_EQ(c.size(), s.size());
    ASSERT_EQ(d.size(), s.size());
    // Brick C governs the step: 0.9 * 0.5 / c is below A's and B's own steps.
    const double dt =
        std::atof(s[1][0].substr(3, 8).c_str()) * std::pow(10.0, std::atoi(s[1][0].c_str() + 12));
    EXPECT_GT(dt, 0.02);
    EXPECT_LT(dt, 0.03);
    for (size_t i = 0; i < s.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i + 1));
        for (auto* p : {&a, &b, &c, &d}) EXPECT_EQ((*p)[i][0], s[i][0]);  // same times everywhere
        EXPECT_EQ(a[i][1], s[i][1]);
        EXPECT_EQ(a[i][2], s[i][2]);
        EXPECT_EQ(b[i][1], s[i][3]);
        EXPECT_EQ(b[i][2], s[i][4]);
        EXPECT_EQ(d[i][1], s[i][5]);
        EXPECT_EQ(d[i][1], "   0.125000D+00");
        // Brick C moves rigidly: 0.5 * 0.125 * 0.5^2.
        EXPECT_EQ(d[i][2], "   0.156250D-01");
    }
    // The stress in B is not zero: the exchange carried something.
    EXPECT_NE(s.back()[3], "   0.000000D+00");
    EXPECT_NE(s.back()[1], "   0.000000D+00");
    // The copy on process 2 has no mass of its own before the first sum.
    EXPECT_EQ(c[0][1], "   0.000000D+00");
    EXPECT_NE(c[1][1], "   0.000000D+00");

    animzones zs = zones(read_file(ser / "aresult_anim.dat"), 20, 3);
    animzones za = zones(read_file(par / "aresult_anim.dat"), 8, 1);
    animzones zb = zones(read_file(par / "bresult_anim.dat"), 8, 1);
    animzones zc = zones(read_file(par / "cresult_anim.dat"), 1, 0);
    animzones zd = zones(read_file(par / "dresult_anim.dat"), 8, 1);
    ASSERT_EQ(zs.nodes.size(), s.size());
    for (auto* z : {&za, &zb, &zc, &zd}) ASSERT_EQ(z->nodes.size(), s.size());
    EXPECT_EQ(za.headers[0],
              "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN");
    EXPECT_EQ(zc.headers[0],
              "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=    1 E=    0 ET=BRICK C=CYAN");
    EXPECT_EQ(zs.headers[0],
              "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=   20 E=    3 ET=BRICK C=CYAN");
    EXPECT_EQ(zc.headers[1].substr(0, 14), "ZONE T=\"Time =");  // no connectivity before it
    const std::string own = "      1      2      3      4      5      6      7      8";
    EXPECT_EQ(za.connectivity, std::vector<std::string>{own});
    EXPECT_EQ(zb.connectivity, std::vector<std::string>{own});
    EXPECT_EQ(zd.connectivity, std::vector<std::string>{own});
    EXPECT_EQ(zs.connectivity[1], "      2      9     10      3      6     11     12      7");
    const int bmap[8] = {2, 9, 10, 3, 6, 11, 12, 7};
    for (size_t i = 0; i < zs.nodes.size(); ++i) {
        SCOPED_TRACE("zone " + std::to_string(i + 1));
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(za.nodes[i][k], zs.nodes[i][k]);
            EXPECT_EQ(zb.nodes[i][k], zs.nodes[i][bmap[k] - 1]);
            EXPECT_EQ(zd.nodes[i][k], zs.nodes[i][12 + k]);
        }
        EXPECT_EQ(zc.nodes[i][0], zs.nodes[i][2]);
    }
    // The shared face has moved.
    EXPECT_NE(zs.nodes.back()[1], zs.nodes.front()[1]);

    EXPECT_EQ(count_of(rp.out, " Step="), s.size()) << rp.out;
    EXPECT_EQ(count_of(rp.out, "Myid="), 4u);
    EXPECT_EQ(count_of(rp.out, "*** Warning ***"), 0u) << rp.out;
}

// A process without elements and without shared nodes still advances with
// the step of the others.
TEST(Parallel, ProcessWithoutElementsTakesTheGlobalStep) {
    TempDir dir("par-noelem");
    write_file(dir / "a", "sovr brick\nnbmp 8\nnbel 1\nnmat 1\ndtsc 1.0\nendt 0.25\n" +
                              std::string(kFunction) + "mate\n1 elas 1.0 256.0 0.0\npart\n" +
                              brick(1, 0.0, 0.0, 0.0, 1.0) + "elem\n1 1 1 2 3 4 5 6 7 8\nendi\n");
    write_file(dir / "b", "sovr lone node\nnbmp 1\nendt 0.25\npart\n1 0 0.0 0.0 0.0\nendi\n");
    write_file(dir / "Comm", "0\n\n");
    RunResult r = run_hexdyn(dir.path(), 2, 60);
    ASSERT_EQ(r.status, 0) << r.out;
    auto b = curverecords(read_file(dir / "bresult_curv.dat"), {});
    ASSERT_EQ(b.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(b[i][0], d15(0.0625 * i));
    // Its node has no mass anywhere: a warning, and it stays put.
    EXPECT_NE(r.out.find("*** Warning ***"), std::string::npos);
    animzones z = zones(read_file(dir / "bresult_anim.dat"), 1, 0);
    ASSERT_EQ(z.nodes.size(), 5u);
    EXPECT_EQ(z.nodes.back()[0], e12(0.0) + e12(0.0) + e12(0.0));
}

// ---------------------------------------------------------------------------
// Deck names.

std::string nodeonlydeck(const std::string& name) {
    return "sovr deck " + name + "\nnbmp 1\npart\n1 0 0.0 0.0 0.0\ncurv engk\nendi\n";
}

TEST(Parallel, EachProcessReadsAndWritesUnderItsOwnLetter) {
    TempDir dir("par-names");
    for (const char* n : {"a", "b", "c"}) write_file(dir / n, nodeonlydeck(n));
    write_file(dir / "Comm", "0\n\n");
    RunResult r = run_hexdyn(dir.path(), 3, 60);
    ASSERT_EQ(r.status, 0) << r.out;
    std::set<std::string> files;
    for (const auto& e : fs::directory_iterator(dir.path()))
        files.insert(e.path().filename().string());
    std::set<std::string> expect = {"Comm", "a", "b", "c"};
    for (const char* n : {"a", "b", "c"})
        for (const char* t : {"sovra.rst", "result_anim.dat", "result_curv.dat"})
            expect.insert(std::string(n) + t);
    EXPECT_EQ(files, expect);
    for (const char* n : {"a", "b", "c"}) {
        const std::string title = "TITLE = \"sovr deck " + std::string(n);
        EXPECT_EQ(read_file(dir / (std::string(n) + "result_curv.dat")).rfind(title, 0), 0u) << n;
        EXPECT_EQ(read_file(dir / (std::string(n) + "result_anim.dat")).rfind(title, 0), 0u) << n;
        EXPECT_EQ(
            read_file(dir / (std::string(n) + "sovra.rst")).rfind("sovr deck " + std::string(n), 0),
            0u);
    }
}

TEST(Parallel, ProcessesBeyondTheAlphabetUseTwoLetterNames) {
    TempDir dir("par-28");
    std::vector<std::string> names;
    for (char ch = 'a'; ch <= 'z'; ++ch) names.push_back(std::string(1, ch));
    names.push_back("aa");
    names.push_back("ab");
    for (const std::string& n : names) write_file(dir / n, nodeonlydeck(n));
    write_file(dir / "Comm", "0\n\n");
    RunResult r = run_hexdyn(dir.path(), 28, 90);
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_FALSE(r.timed_out);
    for (const std::string& n : {std::string("z"), std::string("aa"), std::string("ab")}) {
        EXPECT_EQ(
            read_file(dir / (n + "result_curv.dat")).rfind("TITLE = \"sovr deck " + n + " ", 0), 0u)
            << n;
        EXPECT_EQ(
            read_file(dir / (n + "result_anim.dat")).rfind("TITLE = \"sovr deck " + n + " ", 0), 0u)
            << n;
        EXPECT_EQ(read_file(dir / (n + "sovra.rst")).rfind("sovr deck " + n + " ", 0), 0u) << n;
    }
    EXPECT_FALSE(fs::exists(dir / "{result_curv.dat"));
    EXPECT_EQ(count_of(r.out, "Myid="), 28u);
}

// ---------------------------------------------------------------------------
// The "Comm" file.

std::string movingbrick() {
    return "sovr brick\nnbmp 8\nnbel 1\nnmat 1\ndtsc 0.5\nendt 0.3\nrepo 1\n" +
           std::string(kFunction) + "mate\n1 elas 1.0 256.0 0.3\npart\n" +
           brick(1, 0.0, 0.0, 0.0, 1.0) +
           "elem\n1 1 1 2 3 4 5 6 7 8\nvelo\nnode 7 1.0 -0.5 2.0\nendv\nload\nnode 2 1.0 2.0 "
           "3.0\nendl\n"
           "curv seqv 1\ncurv ener\nendi\n";
}

TEST(Parallel, OneProcessWithoutSharedNodesRunsLikeASerialProgram) {
    // Every form of an empty table gives the same run; so does a table of
    // one process whose slots name its own nodes (each sum has one term).
    const char* tables[] = {
        "0\n\n",   "0\n",        "0",          "  0  words after it\n",
        "\n\n0\n", "3\n1 2 7\n", "2\n3,\n4\n", "sparse 1\nprocess 0 neighbours 0\n"};
    std::string curve0, anim0;
    for (const char* t : tables) {
        SCOPED_TRACE(t);
        TempDir dir("par-serial-comm");
        write_file(dir / "a", movingbrick());
        write_file(dir / "Comm", t);
        RunResult r = run_hexdyn(dir.path(), 1, 60);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("Myid="), std::string::npos);
        const std::string c = read_file(dir / "aresult_curv.dat");
        const std::string a = read_file(dir / "aresult_anim.dat");
        if (curve0.empty()) {
            curve0 = c;
            anim0 = a;
            EXPECT_GT(lines_of(c).size(), 8u);
        } else {
            EXPECT_EQ(c, curve0);
            EXPECT_EQ(a, anim0);
        }
    }
}

struct commerror {
    const char* name;
    const char* comm;
    int nprocs;
    const char* message;  // a line of the output
};

TEST(Parallel, BadCommunicationTablesStopTheJob) {
    const commerror cases[] = {
        {"empty file", "", 1,
         " *** Error *** file Comm: ends before the number of shared-node slots"},
        {"second row missing", "2\n1 2\n", 2,
         " *** Error *** file Comm: the table is for 1 process, but the run has 2 (start it "
         "with 1 process: mpiexec.mpich -n 1)"},
        {"rows for three processes", "2\n1 2\n1 2\n1 2\n", 2,
         " *** Error *** file Comm: the table is for 3 processes, but the run has 2 (start it "
         "with 3 processes: mpiexec.mpich -n 3)"},
        {"sparse table for three processes", "sparse 3\n", 2,
         " *** Error *** file Comm: the table is for 3 processes, but the run has 2 (start it "
         "with 3 processes: mpiexec.mpich -n 3)"},
        {"sparse node beyond the deck",
         "sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 2\n1\n9\n"
         "process 1 neighbours 1\nwith 0 nodes 2\n1 2\n",
         2,
         " *** Error *** file Comm: line 5: node 9 of process 0 (shared with process 1) is "
         "outside the valid range 1..8"},
        {"sparse lists of different lengths",
         "sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 2\n1 2\n"
         "process 1 neighbours 1\nwith 0 nodes 1\n1\n",
         2,
         " *** Error *** file Comm: process 1 lists 1 node(s) shared with process 0, but "
         "process 0 lists 2 shared with process 1"},
        {"sparse neighbour not listed back",
         "sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 1\n1\nprocess 1 neighbours 0\n", 2,
         " *** Error *** file Comm: process 0 lists 1 node(s) shared with process 1, but "
         "process 1 lists 0 shared with process 0"},
        {"sparse lists pairing different nodes",
         "sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 2\n1 2\n"
         "process 1 neighbours 1\nwith 0 nodes 2\n1\n3\n",
         2,
         " *** Error *** file Comm: line 4: node 2 of process 0 is paired with node 3 of "
         "process 1, which lies elsewhere: the two lists do not pair the same nodes"},
        {"row too short", "3\n1 2\n", 1,
         " *** Error *** file Comm: too short: row of process 0 has 2 of 3 values"},
        {"word in a row", "2\n1 x\n1 2\n", 2,
         " *** Error *** file Comm: line 2: \"x\" is not an integer"},
        {"real in a row", "2\n1 2\n1 2.0\n", 2,
         " *** Error *** file Comm: line 3: \"2.0\" is not an integer"},
        {"real count", "2.5\n1 2\n", 1,
         " *** Error *** file Comm: line 1: \"2.5\" is not an integer"},
        {"node beyond the deck", "2\n1 9\n1 2\n", 2,
         " *** Error *** file Comm: line 2: slot 2 of process 0 holds node 9, outside the "
         "valid range 0..8"},
        {"negative node", "2\n1 2\n-1 2\n", 2,
         " *** Error *** file Comm: line 3: slot 1 of process 1 holds node -1, outside the "
         "valid range 0..8"},
    };
    for (const commerror& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir("par-commerr");
        write_file(dir / "a", movingbrick());
        write_file(dir / "b", movingbrick());
        write_file(dir / "Comm", c.comm);
        RunResult r = run_hexdyn(dir.path(), c.nprocs, 60);
        EXPECT_FALSE(r.timed_out);
        EXPECT_NE(r.status, 0) << r.out;
        const std::vector<std::string> l = lines_of(r.out);
        EXPECT_NE(std::find(l.begin(), l.end(), c.message), l.end()) << r.out;
        EXPECT_EQ(count_of(r.out, " Step="), 0u) << r.out;
    }
}

TEST(Parallel, MissingCommStopsEveryProcess) {
    TempDir dir("par-nocomm");
    write_file(dir / "a", movingbrick());
    write_file(dir / "b", movingbrick());
    RunResult r = run_hexdyn(dir.path(), 2, 60);
    EXPECT_FALSE(r.timed_out);
    EXPECT_NE(r.status, 0);
    EXPECT_GE(count_of(r.out, " Open file error!!!\n"), 1u) << r.out;
    EXPECT_FALSE(fs::exists(dir / "aresult_curv.dat"));
}

// ---------------------------------------------------------------------------
// One process of three stops; the others must not wait for it forever.

TEST(Parallel, OneProcessStoppingEndsTheWholeJob) {
    struct stopcase {
        const char* name;
        std::string deck_b, deck_c;
        const char* message;
    };
    const std::string good = "sovr brick\nnbmp 8\nnbel 1\nnmat 1\ndtsc 1.0\nendt 0.5\nrepo 1\n" +
                             std::string(kFunction) + "mate\n1 elas 1.0 256.0 0.0\npart\n" +
                             brick(1, 0.0, 0.0, 0.0, 1.0) +
                             "elem\n1 1 1 2 3 4 5 6 7 8\ncurv engk\nendi\n";
    std::string shortfunction = good;
    shortfunction.replace(shortfunction.find(kFunction), std::string(kFunction).size(),
                          "time 2 0.0 1.0 0.1 1.0\n");
    const stopcase cases[] = {
        {"input error in the middle process", "sovr x\nnbmq 3\nendi\n", good, " error GetData"},
        {"missing deck", "", good, "Input File b         does not exist !"},
        {"load function ends during the run", good, shortfunction,
         " ***Error*** Current time is out of time function ! "},
    };
    for (const stopcase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir("par-stop");
        write_file(dir / "a", good);
        if (!c.deck_b.empty()) write_file(dir / "b", c.deck_b);
        write_file(dir / "c", c.deck_c);
        write_file(dir / "Comm", "0\n\n");
        RunResult r = run_hexdyn(dir.path(), 3, 60);
        EXPECT_FALSE(r.timed_out) << r.out;
        EXPECT_NE(r.status, 0) << r.out;
        const std::vector<std::string> l = lines_of(r.out);
        EXPECT_NE(std::find(l.begin(), l.end(), c.message), l.end()) << r.out;
        EXPECT_EQ(count_of(r.out, "** Timefor computation is"), 0u) << r.out;
    }
}

}  // namespace
