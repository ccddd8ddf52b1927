// hexdyn-plot: curve files and merged CSV tables to PNG through gnuplot.
#include <gtest/gtest.h>

#include <string>

#include "testutil.hpp"

using namespace testutil;

namespace {

const char* const kCurves =
    "TITLE = \"plot test                                                   \"\n"
    "VARIABLES= \"Time\" \"seqv at     1\" \"seqv at     2\" \"engk at     1\" \"mat  at     1\"\n"
    "\n"
    "   0.000000D+00   0.000000D+00   0.000000D+00   0.195000D+06  1\n"
    "   0.200000D-03   0.106925D+09   0.190262D+09   0.950431D+05  1\n"
    "   0.400000D-03   0.282622D+08   0.397036D+08   0.168815D+06  1\n"
    "   0.600000D-03   0.130471D+09   0.134405D+09   0.821833D+05  1\n";

bool have_gnuplot() {
    return run_command("command -v gnuplot", fs::temp_directory_path(), 10).status == 0;
}

bool is_png(const fs::path& f) {
    const std::string s = read_file(f);
    return s.size() > 1000 && s.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}

std::string plot_cmd(const std::string& args) { return exe("hexdyn-plot") + " " + args; }

}  // namespace

TEST(ToolsPlot, CurveFileAndCsvBecomePngs) {
    if (!have_gnuplot()) GTEST_SKIP() << "gnuplot is not installed";
    TempDir dir("plot");
    write_file(dir / "aresult_curv.dat", kCurves);
    RunResult r = run_command(plot_cmd("aresult_curv.dat"), dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(is_png(dir / "aresult_curv.png"));
    EXPECT_NE(r.out.find("4 curves in 3 panels, 4 records"), std::string::npos) << r.out;

    write_file(dir / "run.csv",
               "time,seqv@elem1,p0:engk,p1:engk,engk_total,mat@elem2\n"
               "0,0,1,2,3,\n1e-4,5e7,2,2,4,\n2e-4,1e8,3,1,4,\n");
    fs::create_directory(dir / "img");
    r = run_command(plot_cmd("run.csv -o img/energy.png --title \"Two cubes\""), dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(is_png(dir / "img" / "energy.png"));
    // The mat column has no value: left out, with a note.
    EXPECT_NE(r.out.find("mat@elem2 has no value"), std::string::npos) << r.out;

    // The contact force of the processes summed (each on request), a column
    // zero throughout named and left out.
    write_file(dir / "contact.csv",
               "time,p0:cnor,p1:cnor,dz@node841,external_work\n"
               "0,0,0,0,0\n2e-6,1300,37700,-6e-8,0\n4e-6,900,25000,-4e-6,0\n");
    r = run_command(plot_cmd("contact.csv"), dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(is_png(dir / "contact.png"));
    EXPECT_NE(r.out.find("hexdyn-plot: note: p0:cnor and p1:cnor (one share per process) are "
                         "summed into the normal contact force of the whole model"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("hexdyn-plot: note: external_work is zero throughout and not drawn"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("2 curves in 2 panels"), std::string::npos) << r.out;
    r = run_command(plot_cmd("contact.csv --per-process -o per.png"), dir.path(), 60);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("4 curves in 2 panels"), std::string::npos) << r.out;
}

TEST(ToolsPlot, ErrorsAndMissingGnuplot) {
    TempDir dir("plot-err");
    write_file(dir / "aresult_curv.dat", kCurves);
    write_file(dir / "bad.csv", "time,a\n0,1,2\n");
    struct Case {
        std::string cmd;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {plot_cmd("--help"), 0, "usage: hexdyn-plot"},
        {plot_cmd(""), 2, "no input file"},
        {plot_cmd("a b"), 2, "more than one input file"},
        {plot_cmd("aresult_curv.dat --bogus"), 2, "unknown option --bogus"},
        {plot_cmd("aresult_curv.dat -o"), 2, "needs a value"},
        {plot_cmd("missing.dat"), 1, "does not exist"},
        {plot_cmd("bad.csv"), 1, "bad.csv:2: record of 3 fields"},
        {plot_cmd("aresult_curv.dat -o nodir/x.png"), 1, "output directory nodir does not exist"},
        {"PATH=/nonexistent " + plot_cmd("aresult_curv.dat"), 1, "gnuplot not found on PATH"},
    };
    for (const Case& c : cases) {
        const RunResult r = run_command(c.cmd, dir.path(), 60);
        EXPECT_EQ(r.status, c.status) << c.cmd << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.cmd << "\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "aresult_curv.png"));
}
