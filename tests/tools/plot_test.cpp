// Plots of curves: the table read from a curve file or a CSV, and the
// gnuplot script.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "plot/plot.hpp"
#include "rejected.hpp"
#include "result_files.hpp"
#include "testutil.hpp"

using toolcases::expect_rejected;
using namespace plot;
using namespace resultfiles;
using formats::Error;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

TEST(Plot, VariableOfColumnNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"seqv@elem37", "seqv"},  {"p1:seqv@5", "seqv"},    {"p0:engk", "engk"},
        {"engk_total", "engk"},   {"seqv@elem6#2", "seqv"}, {"mat@elem2", "mat"},
        {"pressure", "pressure"}, {"_total", "_total"},
    };
    for (const auto& [col, var] : cases) EXPECT_EQ(variable_of(col), var) << col;
}

TEST(Plot, ScriptHasOnePanelPerVariableAndSkipsEmptyColumns) {
    PlotTable t;
    t.names = {"time", "seqv@elem1", "p0:engk", "seqv@elem2", "p1:engk", "engk_total", "mat@elem1"};
    const double nan = std::nan("");
    t.rows = {{0, 1, 2, 3, 4, 6, nan}, {1, 2, 3, 4, 5, 8, nan}};
    PlotOptions o;
    o.title = "it's a test";
    o.data = "/tmp/d.dat";
    o.output = "/tmp/o.png";
    std::vector<std::string> notes;
    const std::string s = plot_script(t, o, notes);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("mat@elem1"), std::string::npos);
    EXPECT_NE(s.find("layout 1,2 title 'it''s a test'"), std::string::npos) << s;
    EXPECT_NE(s.find("set ylabel 'seqv'"), std::string::npos);
    EXPECT_NE(s.find("set ylabel 'engk'"), std::string::npos);
    EXPECT_EQ(s.find("set ylabel 'mat'"), std::string::npos);
    EXPECT_NE(s.find("set xlabel 'time'"), std::string::npos);
    EXPECT_NE(s.find("using 1:6 with linespoints pt 7 ps 0.6 title 'engk_total'"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("noenhanced"), std::string::npos);

    for (auto& r : t.rows) std::fill(r.begin() + 1, r.end(), nan);
    EXPECT_THROW(plot_script(t, o, notes), Error);
}

TEST(Plot, ReadsCurveFilesAndCsvAndRejectsMalformedCsv) {
    TempDir dir("plot");
    TwoCubes m;
    write_file(dir / "aresult_curv.dat", curve_text({{"seqv", 1}, {"mat ", 1}, {"engk", 1}},
                                                    {{0, 1.5, 1, 2}, {1e-6, 2, 1, 3}}));
    PlotTable t = read_plot_table(dir / "aresult_curv.dat");
    EXPECT_EQ(t.title, "test");
    EXPECT_EQ(t.names, (std::vector<std::string>{"time", "seqv@elem1", "mat@elem1", "engk"}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_DOUBLE_EQ(t.rows[1][0], 1e-6);
    EXPECT_TRUE(t.warnings.empty());
    // Cut inside its last record: the records before it, and a warning.
    const std::string whole = testutil::read_file(dir / "aresult_curv.dat");
    write_file(dir / "aresult_curv.dat", whole.substr(0, whole.size() - 10));
    t = read_plot_table(dir / "aresult_curv.dat");
    ASSERT_EQ(t.rows.size(), 1u);
    ASSERT_EQ(t.warnings.size(), 1u);
    EXPECT_EQ(t.warnings[0], (dir / "aresult_curv.dat").string() +
                                 ":5: the file ends inside record 2 (cut off while it was "
                                 "written?): records 1..1 are plotted");

    write_file(dir / "c.csv", "time,seqv@elem1,mat@elem1\n0,1.5,\n1e-6,nan,1\n");
    t = read_plot_table(dir / "c.csv");
    EXPECT_EQ(t.names.size(), 3u);
    EXPECT_TRUE(std::isnan(t.rows[0][2]));
    EXPECT_TRUE(std::isnan(t.rows[1][1]));

    const std::pair<const char*, const char*> bad[] = {
        {"time,a\n0,1,2\n", "3 fields"},
        {"time,a\n0,x\n", "not a number"},
        {"time\n0\n", "fewer than two columns"},
        {"time,a\n", "no records"},
        {"time,,a\n0,1,2\n", "empty column name"},
        {"time,a\n,1\n", "without a time"},
        {"", "empty"},
    };
    for (const auto& [text, message] : bad) {
        write_file(dir / "c.csv", text);
        expect_rejected([&] { read_plot_table(dir / "c.csv"); }, message, message);
    }
    EXPECT_THROW(read_plot_table(dir / "missing.csv"), Error);
}

// A curve file of process a beside the run's energy balance: its own engk is
// process a's share and gives way to the global energies, record by record.
TEST(Plot, EnergyBalanceReplacesTheEnergiesOfOneProcess) {
    TempDir dir("plot-energy");
    const std::string balance =
        "#            time          kinetic         internal        hourglass"
        "    external_work       plane_work            total     energy_error\n"
        "  0.000000000E+00  1.825570000E+02  0.000000000E+00  0.000000000E+00  0.000000000E+00"
        "  0.000000000E+00  1.825570000E+02  0.000000000E+00\n"
        "  1.000000000E-06  1.700000000E+02  1.200000000E+01  5.000000000E-01  0.000000000E+00"
        "  0.000000000E+00  1.825000000E+02 -3.100000000E-04\n";
    write_file(dir / "energy.dat", balance);
    PlotTable t = read_plot_table(dir / "energy.dat");
    EXPECT_EQ(t.names, (std::vector<std::string>{"time", "engk_total", "engs_total", "hourglass",
                                                 "external_work", "plane_work", "ener_total",
                                                 "energy_error"}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[1][7], -3.1e-4);

    write_file(dir / "aresult_curv.dat", curve_text({{"seqv", 1}, {"engk", 1}},
                                                    {{0, 1.5, 94}, {1e-6, 2, 90}, {2e-6, 3, 80}}));
    t = read_plot_table(dir / "aresult_curv.dat");
    ASSERT_EQ(t.names.size(), 9u);
    EXPECT_EQ(t.names[1], "seqv@elem1");
    EXPECT_EQ(t.names[2], "engk_total");
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[0][2], 182.557);
    EXPECT_EQ(t.rows[1][2], 170.0);
    EXPECT_TRUE(std::isnan(t.rows[2][2]));  // no balance record at 2e-6

    write_file(dir / "energy.dat", "# kinetic time\n1 0\n");
    expect_rejected([&] { read_plot_table(dir / "energy.dat"); }, "does not start with time",
                    "columns");
    write_file(dir / "energy.dat", "# time kinetic\n0 1 2\n");
    expect_rejected([&] { read_plot_table(dir / "energy.dat"); }, "record of 3 values",
                    "long record");
}
