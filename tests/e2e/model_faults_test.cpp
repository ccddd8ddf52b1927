// Models that used to run to a wrong end (a zero or non-finite step, NaN in
// the result files, degenerate elements, a wrong "Comm"): each ends within
// seconds with a message naming what is wrong and a non-zero status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

// One unit cube of steel moving down, its deck with `material`, `elem` and
// `extra` keywords in place.
std::string cube(const std::string& material, const std::string& elem = "1 1 1 2 3 4 5 6 7 8",
                 const std::string& extra = "", const std::string& nodes = "") {
    return "sovr fault\nnbmp 8\nnbel 1\nnmat 1\nendt 1.0e-3\n" + extra + "mate\n1 " + material +
           "\npart\n" + (nodes.empty() ? brick(1, 0.0, 0.0, 0.0, 1.0) : nodes) + "elem\n" + elem +
           "\nvelo\nnode 7 1.0 -0.5 2.0\nendv\ncurv seqv 1\nendi\n";
}

struct Fault {
    const char* name;
    std::string deck;
    std::string comm;
    std::string message;  // the start of a line of standard output
};

}  // namespace

TEST(ModelFaults, EachEndsWithItsMessageAndAStatus) {
    // The unit cube with node 3 pulled through the opposite face: the centre
    // volume stays positive, corner 3 folds over.
    const std::string bowtie =
        "1 0 0.0 0.0 0.0\n2 0 1.0 0.0 0.0\n3 0 0.1 0.1 0.0\n4 0 0.0 1.0 0.0\n"
        "5 0 0.0 0.0 1.0\n6 0 1.0 0.0 1.0\n7 0 1.0 1.0 1.0\n8 0 0.0 1.0 1.0\n";
    const std::string steel = "elas 7800 2.1e11 0.3";
    const std::vector<Fault> faults = {
        {"zero density", cube("elas 0.0 2.1e11 0.3"), "0\n",
         " *** Error *** material set 1: density must be positive, got 0.0000000000000000E+00"},
        {"negative density", cube("elas -7800 2.1e11 0.3"), "0\n",
         " *** Error *** material set 1: density must be positive, got -7.8000000000000000E+03"},
        {"zero Young's modulus", cube("elas 7800 0.0 0.3"), "0\n",
         " *** Error *** material set 1: Young's modulus must be positive, got "
         "0.0000000000000000E+00"},
        {"Poisson's ratio 0.6", cube("elas 7800 2.1e11 0.6"), "0\n",
         " *** Error *** material set 1: Poisson's ratio must be above -1 and below 0.5, got "
         "6.0000002384185791E-01"},
        {"Inf in a material constant", cube("elas Inf 2.1e11 0.3"), "0\n",
         " *** Error *** not a finite number: Inf"},
        {"NaN in a material constant", cube("pla1 7800 2.1e11 0.3 NaN"), "0\n",
         " *** Error *** not a finite number: NaN"},
        {"negative yield stress", cube("pla1 7800 2.1e11 0.3 -1.0"), "0\n",
         " *** Error *** material set 1: the yield stress must be zero or positive, got "
         "-1.0000000000000000E+00"},
        {"repeated node", cube(steel, "1 1 1 2 3 4 5 6 3 8"), "0\n",
         " *** Error *** element 1 names node 3 twice (corners 3 and 7)"},
        {"bow-tie element", cube(steel, "1 1 1 2 3 4 5 6 7 8", "", bowtie), "0\n",
         " *** Error *** element 1 is folded or degenerate at corner 3 (corner Jacobian -"},
        {"rigid plane direction 7", cube(steel, "1 1 1 2 3 4 5 6 7 8", "rigi 7 0.0\n"), "0\n",
         " *** Error *** rigid plane direction 7 is outside -3..-1, 1..3"},
        {"huge step scale", cube(steel, "1 1 1 2 3 4 5 6 7 8", "dtsc 1e30\n"), "0\n",
         " *** Error *** step 1, process 0: the time step 1.050E+06 is not positive and below "
         "1.000E+06"},
        {"negative Comm count", cube(steel), "-3\n1 2 3\n",
         " *** Error *** file Comm: line 1: slot count -3 is negative (0 or more)"},
        {"huge Comm count", cube(steel), "2000000000\n1 2 3\n",
         " *** Error *** file Comm: too short: row of process 0 has 3 of 2000000000 values"},
        {"node twice in a Comm row", cube(steel), "3\n1 2 1\n",
         " *** Error *** file Comm: line 2: node 1 of process 0 is in slots 1 and 3 (a node has "
         "one slot)"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        TempDir dir("fault");
        write_file(dir / "Comm", f.comm);
        write_file(dir / "a", f.deck);
        const RunResult r = run_hexdyn(dir.path(), 1, 20);
        EXPECT_FALSE(r.timed_out);
        EXPECT_NE(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("\n" + f.message), std::string::npos) << r.out;
        // Nothing non-finite reached the result files.
        for (const char* file : {"aresult_curv.dat", "aresult_anim.dat"}) {
            if (!fs::exists(dir / file)) continue;
            const std::string text = read_file(dir / file);
            EXPECT_EQ(text.find("NaN"), std::string::npos) << file;
            EXPECT_EQ(text.find("Inf"), std::string::npos) << file;
        }
    }
}

namespace {

// A row of nx steel elements of 1 mm whose face x = xmax is pulled by 1e5 N
// per node; "fail" erodes an element at a principal strain of 0.3, which the
// last element reaches within a few steps, leaving its loaded nodes with no
// element. `glob` numbers the nodes from 101 in the whole model.
std::string erodingdeck(const fs::path& dir, int nx, bool glob) {
    const RunResult r = run_command(
        exe("hexdyn-mesh") + " box --nx " + std::to_string(nx) + " --ny 1 --nz 1 --lx " +
            num(1e-3 * nx) +
            " --ly 1e-3 --lz 1e-3 --endtime 1e-4 --outtime 1e-6 --material \"pla2 7800 2e11 0.3 "
            "3e8 2e9\" --load xmax,1e5,0,0 --fields off --energy off --comm -o a",
        dir);
    EXPECT_EQ(r.status, 0) << r.out;
    std::string deck = read_file(dir / "a");
    std::string extra = "fail\nprin 1 0.3\nendf\n";
    if (glob) {
        extra += "glob\n";
        for (int k = 1; k <= 4 * (nx + 1); ++k) extra += std::to_string(100 + k) + "\n";
        for (int e = 1; e <= nx; ++e) extra += std::to_string(e) + "\n";
    }
    deck.insert(deck.rfind("endi"), extra);
    return deck;
}

}  // namespace

// A loaded node whose elements have all eroded accelerates without bound:
// the stop names it (by its number in the whole model where the deck has
// "glob") and the cause instead of blaming the step, on one process and on
// two (the count of what holds a node is summed over its copies).
TEST(ModelFaults, LoadedNodeWhoseElementsErodedIsNamed) {
    struct Case {
        const char* name;
        int nx, nprocs;
        bool glob;
        std::string message;
    } cases[] = {
        {"one element", 1, 1, false, "process 0: node 2 carries a load"},
        {"one element, whole-model numbers", 1, 1, true, "process 0: node 102 carries a load"},
        {"two elements on two processes", 2, 2, false, "process 1: node 2 carries a load"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir("eroded-load");
        const std::string deck = erodingdeck(dir.path(), c.nx, c.glob);
        if (c.nprocs == 1) {
            write_file(dir / "a", deck);
        } else {
            write_file(dir / "model.deck", deck);
            const RunResult p = run_command(
                exe("hexdyn-partition") + " model.deck " + std::to_string(c.nprocs), dir.path());
            ASSERT_EQ(p.status, 0) << p.out;
        }
        const RunResult r = run_hexdyn(dir.path(), c.nprocs, 60);
        EXPECT_FALSE(r.timed_out);
        EXPECT_NE(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(" *** Error *** step "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.message + " and every element that held it has eroded: nothing "
                                         "holds it, and the load accelerates it without bound"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("take the load off nodes whose elements can erode"),
                  std::string::npos);
        EXPECT_EQ(r.out.find("the run is unstable"), std::string::npos) << r.out;
    }
}
