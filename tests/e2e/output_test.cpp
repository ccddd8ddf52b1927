// The result files of whole runs: every record of a small run against values
// worked out by hand, the title without "sovr", write failures, and what a
// run that stops leaves in its files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

// A unit brick at x = 2..3 (density 1, Young's modulus 256, Poisson's ratio
// 0: wave speed 16, step 1/16), all nodes in component 1 with load (1, 0, 0)
// and initial velocity (1, 0, -0.5). With nodal masses 1/8 every node
// accelerates at 8 in x, the brick moves rigidly and every value is exact.
std::string translatingbrick(const std::string& title) {
    std::string d = title +
                    "nbmp 8\nnbel 1\nnmat 1\nncom 1\ndtsc 1.0\nendt 0.125\nrepo 1\n"
                    "time 2 0.0 1.0 100.0 1.0\nmate\n1 elas 1.0 256.0 0.0\npart\n";
    for (int k = 0; k < 8; ++k)
        d += std::to_string(k + 1) + " 1 " + std::to_string(2 + unit_corner[k][0]) + ".0 " +
             std::to_string(unit_corner[k][1]) + ".0 " + std::to_string(unit_corner[k][2]) + ".0\n";
    d += "elem\n1 1 1 2 3 4 5 6 7 8\nload\ncomp 1 1.0 0.0 0.0\nendl\nvelo\ncomp 1 1.0 0.0 "
         "-0.5\nendv\n"
         "curv engk\ncurv vol 1\ncurv mat\ncurv ener 7\ncurv engs\nendi\n";
    return d;
}

TEST(ResultFiles, WholeRunRecordByRecord) {
    TempDir dir("out-run");
    write_single_run(dir.path(), translatingbrick("sovr translating brick\n"));
    RunResult r = run_hexdyn(dir.path(), 1, 60);
    ASSERT_EQ(r.status, 0) << r.out;

    // Worked by hand: step n starts at t = (n-1)/16 with x-velocity 1 + (n-1)/2
    // (the first step adds half a step of acceleration, later ones a full
    // step), and ends with the position advanced by the new velocity / 16.
    std::vector<double> t, ke, dx, dz;
    double vx = 1.0, vz = -0.5, x = 0.0, z = 0.0, time = 0.0, dtold = 0.0;
    const double dt = 0.0625, acc = 8.0;
    for (int n = 0; n < 3; ++n) {
        t.push_back(time);
        ke.push_back(0.5 * 1.0 * (vx * vx + vz * vz));
        vx += acc * 0.5 * (dtold + dt);
        x += vx * dt;
        z += vz * dt;
        dx.push_back(x);
        dz.push_back(z);
        dtold = dt;
        time += dt;
    }
    ASSERT_EQ(dx[0], 0.078125);
    ASSERT_EQ(ke[2], 1.65625);

    const std::vector<std::string> c = lines_of(read_file(dir / "aresult_curv.dat"));
    std::vector<std::string> expect = {
        "TITLE = \"sovr translating brick" + std::string(38, ' ') + "\"",
        "VARIABLES= \"Time\" \"engk at     1\" \"vol  at     1\" \"mat  at     1\" \"ener at     "
        "7\" \"engs at     1\"",
        ""};
    for (int n = 0; n < 3; ++n)
        expect.push_back(d15(t[n]) + d15(ke[n]) + d15(1.0) + "  1" + d15(ke[n]) + d15(0.0));
    EXPECT_EQ(c, expect);

    const std::vector<std::string> a = lines_of(read_file(dir / "aresult_anim.dat"));
    std::vector<std::string> zones = {
        "TITLE = \"sovr translating brick" + std::string(38, ' ') + "\"",
        "VARIABLES= \"X\"   \"Y\"   \"Z\"  ", ""};
    for (int n = 0; n < 3; ++n) {
        zones.push_back("ZONE T=\"Time =" + e12(t[n]) +
                        "\" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN" +
                        (n > 0 ? " D=(FECONNECT)" : ""));
        for (int k = 0; k < 8; ++k)
            zones.push_back(e12(2 + unit_corner[k][0] + dx[n]) + e12(unit_corner[k][1]) +
                            e12(unit_corner[k][2] + dz[n]));
        if (n == 0) zones.push_back("      1      2      3      4      5      6      7      8");
    }
    EXPECT_EQ(a, zones);

    // Progress lines: time, step, distortion and the kinetic energy of the
    // start of the step (K.E. of step 2 is 0.90625, not checked at 4 digits).
    EXPECT_NE(
        r.out.find(" Step=     1  T=0.000E+00  DT=6.250E-02  EDist=1.000E+00  K.E.=6.250E-01\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find(" Step=     3  T=1.250E-01  DT=6.250E-02  EDist=1.000E+00  K.E.=1.656E+00\n"),
        std::string::npos)
        << r.out;
}

TEST(ResultFiles, DeckWithoutTitleWritesBlanksNotNul) {
    TempDir dir("out-notitle");
    write_single_run(dir.path(), translatingbrick(""));
    RunResult r = run_hexdyn(dir.path(), 1, 60);
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* f : {"aresult_curv.dat", "aresult_anim.dat"}) {
        const std::string text = read_file(dir / f);
        EXPECT_EQ(text.find('\0'), std::string::npos) << f;
        EXPECT_EQ(lines_of(text).at(0), "TITLE = \"" + std::string(60, ' ') + "\"") << f;
    }
}

// ---------------------------------------------------------------------------
// Failures while writing.

// Runs the deck of `dir` with the result files `full` on a device that is
// always full; the run must stop naming the animation file, the first one
// written.
RunResult runonfulldisk(const TempDir& dir, std::initializer_list<const char*> full) {
    for (const char* f : full) fs::create_symlink("/dev/full", dir / f);
    RunResult r = run_hexdyn(dir.path(), 1, 60);
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\n *** Error *** writing file aresult_anim.dat failed: No space left on "
                         "device\n"),
              std::string::npos)
        << r.out;
    return r;
}

TEST(ResultFiles, WriteFailureStopsNamingTheFileAndKeepsTheOtherFiles) {
    TempDir dir("out-full");
    write_single_run(dir.path(), translatingbrick("sovr full disk\n"));
    const RunResult r = runonfulldisk(dir, {"aresult_anim.dat"});
    // The files are synced at every output time, so the full disk shows at
    // the first one; the curve file keeps its header and that record.
    EXPECT_EQ(lines_of(read_file(dir / "aresult_curv.dat")).size(), 4u);
    EXPECT_EQ(lines_of(read_file(dir / "asovra.rst")).front().substr(0, 14), "sovr full disk");
}

TEST(ResultFiles, WriteFailureDuringTheRunStops) {
    // A zone of 40000 nodes is more than the file buffer holds, so the failure
    // shows while the first zone is written, not at the end.
    TempDir dir("out-full-big");
    std::string d = "sovr many nodes\nnbmp 40000\nendt 1.0\npart\n";
    for (int k = 1; k <= 40000; ++k)
        d += std::to_string(k) + " 0 " + std::to_string(k) + ".0 0.0 0.0\n";
    d += "endi\n";
    write_single_run(dir.path(), d);
    const RunResult r = runonfulldisk(dir, {"aresult_curv.dat", "aresult_anim.dat"});
    EXPECT_EQ(r.out.find(" Step="), std::string::npos) << r.out;  // stopped inside the first step
}

// The echo file on a full device: the stop names it and the system's reason.
TEST(ResultFiles, EchoWriteFailureNamesTheReason) {
    TempDir dir("out-full-echo");
    write_single_run(dir.path(), translatingbrick("sovr full disk\n"));
    fs::create_symlink("/dev/full", dir / "asovra.rst");
    const RunResult r = run_hexdyn(dir.path(), 1, 60);
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\n *** Error *** writing file asovra.rst failed: No space left on "
                         "device\n"),
              std::string::npos)
        << r.out;
}

TEST(ResultFiles, UnopenableOutputFileStops) {
    for (const char* f : {"aresult_curv.dat", "aresult_anim.dat", "asovra.rst"}) {
        SCOPED_TRACE(f);
        TempDir dir("out-dir");
        write_single_run(dir.path(), translatingbrick("sovr x\n"));
        fs::create_directory(dir / f);
        RunResult r = run_hexdyn(dir.path(), 1, 60);
        EXPECT_NE(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(std::string(" *** Error *** cannot open file ") + f +
                             " for writing: Is a directory\n"),
                  std::string::npos)
            << r.out;
    }
}

// ---------------------------------------------------------------------------
// A run that stops keeps what it wrote.

TEST(ResultFiles, RunStoppedByTheLoadFunctionKeepsItsRecords) {
    TempDir dir("out-stop");
    write_file(dir / "Comm", "0\n\n");
    std::string deck = translatingbrick("sovr stops at step 3\n");
    const std::string f = "time 2 0.0 1.0 100.0 1.0";
    deck.replace(deck.find(f), f.size(), "time 2 0.0 1.0 0.1 1.0");
    deck.replace(deck.find("endt 0.125"), 10, "endt 1.0");
    write_file(dir / "a", deck);
    RunResult r = run_hexdyn(dir.path(), 1, 60);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" ***Error*** Current time is out of time function ! \n"
                         "    Current time =  1.250E-01\n"
                         "    End time of the time function =  1.000E-01\n"),
              std::string::npos)
        << r.out;
    const std::vector<std::string> c = lines_of(read_file(dir / "aresult_curv.dat"));
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[4].substr(0, 30), d15(0.0625) + d15(0.90625));
    const std::vector<std::string> a = lines_of(read_file(dir / "aresult_anim.dat"));
    EXPECT_EQ(a.size(), 3u + 2 * 9 + 1);
    EXPECT_EQ(lines_of(read_file(dir / "asovra.rst")).size(), lines_of(deck).size());
}

TEST(ResultFiles, InputErrorKeepsTheEchoOfTheLinesRead) {
    TempDir dir("out-inputerr");
    write_single_run(dir.path(), "sovr bad deck\nnbmp 2\n\n! comment\nnbmq 3\nendi\n");
    RunResult r = run_hexdyn(dir.path(), 1, 60);
    EXPECT_NE(r.status, 0);
    const std::vector<std::string> e = lines_of(read_file(dir / "asovra.rst"));
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0], "sovr bad deck" + std::string(256 - 13, ' '));
    EXPECT_EQ(e[2], "nbmq 3" + std::string(250, ' '));
    EXPECT_EQ(read_file(dir / "aresult_curv.dat"), "");
}

}  // namespace
