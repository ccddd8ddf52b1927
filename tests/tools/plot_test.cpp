// Plots of curves: the table read from a curve file or a CSV, and the
// gnuplot script.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "formats/deck.hpp"
#include "model/curvevariables.hpp"
#include "plot/figure.hpp"
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
    t.rows = {{0, 1e8, 2, 3e8, 4, 6, nan}, {1e-6, 2e8, 3, 4e8, 5, 8, nan}};
    PlotOptions o;
    o.title = "it's a test";
    o.data = "/tmp/d.dat";
    o.output = "/tmp/o.png";
    const Figure f = make_figure(t, {});
    ASSERT_EQ(f.notes.size(), 2u);
    EXPECT_NE(f.notes[0].find("mat@elem1"), std::string::npos);
    // The processes' shares give way to the model's total.
    EXPECT_NE(f.notes[1].find("p0:engk and p1:engk"), std::string::npos) << f.notes[1];
    const std::string s = figure_script(f, o);
    EXPECT_NE(s.find("layout 1,2 title 'it''s a test'"), std::string::npos) << s;
    EXPECT_NE(s.find("set ylabel 'von Mises stress [MPa]'"), std::string::npos) << s;
    EXPECT_NE(s.find("set ylabel 'kinetic energy [J]'"), std::string::npos) << s;
    EXPECT_EQ(s.find("material set"), std::string::npos);
    EXPECT_NE(s.find("set xlabel 'time [\xc2\xb5s]'"), std::string::npos) << s;
    EXPECT_NE(s.find("using 1:4 with linespoints pt 7 ps 0.6 lw 1.5 title 'kinetic'"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("title 'element 2'"), std::string::npos);
    EXPECT_NE(s.find("noenhanced"), std::string::npos);

    for (auto& r : t.rows) std::fill(r.begin() + 1, r.end(), nan);
    EXPECT_THROW(make_figure(t, {}), Error);
    // Zero is no better than nothing.
    for (auto& r : t.rows) std::fill(r.begin() + 1, r.end(), 0.0);
    expect_rejected([&] { make_figure(t, {}); }, "zero throughout", "all zero");
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

// Every curve variable of the deck has an axis name, and its unit is the one
// the variable's help line gives.
TEST(Plot, EveryCurveVariableHasAQuantityWithItsUnit) {
    for (const curvevariables::variable& v : curvevariables::table) {
        const Quantity* q = quantity_of(v.word);
        ASSERT_NE(q, nullptr) << v.word;
        if (!q->unit.empty()) {
            EXPECT_NE(v.help.find(", " + std::string(q->unit)), std::string::npos)
                << v.word << ": " << q->unit << " / " << v.help;
        }
    }
    for (const char* c : {"hourglass", "contact", "eroded", "external_work", "plane_work"})
        EXPECT_EQ(quantity_of(c)->unit, "J") << c;
    EXPECT_EQ(quantity_of("energy_error")->unit, "%");
}

TEST(Plot, AxisScaleKeepsTicksBetweenOneAndThousand) {
    struct Case {
        const char* unit;
        double largest;
        const char* shown;
        double factor;
    };
    const Case cases[] = {
        {"s", 9.8e-5, "\xc2\xb5s", 1e6},
        {"s", 2.5e-3, "ms", 1e3},
        {"s", 2.0, "s", 1},
        {"s", 5e-8, "ns", 1e9},
        {"m", 8.7e-3, "mm", 1e3},
        {"m", 5e-6, "\xc2\xb5m", 1e6},
        {"m", 3.0, "m", 1},
        {"N", 1.08e5, "kN", 1e-3},
        {"N", 3e7, "MN", 1e-6},
        {"Pa", 3e8, "MPa", 1e-6},
        {"Pa", 2e9, "GPa", 1e-9},
        {"J", 539, "J", 1},
        {"J", 4e-3, "mJ", 1e3},
        {"J", 1.0, "J", 1},
        {"J", 0.0, "J", 1},
        {"m/s", 300, "m/s", 1},
        {"%", 0.16, "%", 1},
        {"", 0.5, "", 1},
    };
    for (const Case& c : cases) {
        const AxisScale s = axis_scale(c.unit, c.largest);
        EXPECT_EQ(s.unit, c.shown) << c.unit << " " << c.largest;
        EXPECT_DOUBLE_EQ(s.factor, c.factor) << c.unit << " " << c.largest;
    }
}

namespace {

// "ylabel: title | title; ylabel: ..." of a figure.
std::string summary(const Figure& f) {
    std::string s;
    for (const Panel& p : f.panels) {
        if (!s.empty()) s += "; ";
        s += p.ylabel + ":";
        for (size_t j = 0; j < p.curves.size(); ++j) s += (j ? " | " : " ") + p.curves[j].title;
    }
    return s;
}

PlotTable table_of(std::vector<std::string> names, std::vector<std::vector<double>> rows) {
    PlotTable t;
    t.names = std::move(names);
    t.rows = std::move(rows);
    return t;
}

}  // namespace

// What the panels show: units, names of the points, the model's contact
// force, the energy balance stacked, zero columns left out.
TEST(Plot, FigurePanelsCurvesAndWhatIsLeftOut) {
    struct Case {
        const char* what;
        PlotTable table;
        bool per_process;
        std::string panels;
        std::vector<std::string> left_out;
    };
    const std::string mu = "\xc2\xb5";
    const std::string minus = " \xe2\x88\x92 ";
    const Case cases[] = {
        {"nearly constant: the change from the first value",
         table_of({"time", "ener_total"}, {{0, 539.3539804}, {1e-5, 538.70}, {2e-5, 538.47}}),
         false,
         "total energy" + minus + "539.354 J [mJ]: total",
         {}},
        {"points by the deck's numbers, or the process's own",
         table_of({"time", "dz@node841", "p1:vz@n3", "p1:seqv@5", "seqv@elem7#2"},
                  {{0, 0, -300, 0, 0}, {1e-6, -8.7e-3, -250, 4e8, 1e8}}),
         false,
         "displacement z [mm]: node 841; velocity z [m/s]: node 3 of process 1 (its own number); "
         "von Mises stress [MPa]: element 5 of process 1 (its own number) | element 7 (2)",
         {}},
        {"contact forces of the processes summed",
         table_of({"time", "p0:cnor", "p1:cnor", "p0:cfri", "p1:cfri"},
                  {{0, 0, 0, 0, 0}, {1e-6, 1000, 37000, 10, 20}}),
         false,
         "contact force [kN]: normal, whole model | friction, whole model",
         {}},
        {"and each on request",
         table_of({"time", "p0:cnor", "p1:cnor", "p0:cfri", "p1:cfri"},
                  {{0, 0, 0, 0, 0}, {1e-6, 1000, 37000, 0, 0}}),
         true,
         "contact force [kN]: normal, whole model | normal, process 0 | normal, process 1",
         {"p0:cfri", "p1:cfri"}},
        {"the balance stacked, zero columns left out, the error in per cent",
         table_of({"time", "engk_total", "engs_total", "hourglass", "contact", "external_work",
                   "plane_work", "ener_total", "energy_error"},
                  {{0, 539.35, 0, 0, 0, 0, 0, 539.35, 0},
                   {1e-6, 400, 130, 2, 6.5, 0, 0, 538.5, -1.6e-3}}),
         false,
         "energy [J]: kinetic | internal | hourglass | contact | total | energy in: initial "
         "kinetic; energy error [%]: of the initial kinetic energy + work of the loads",
         {"external_work", "plane_work"}},
        {"loads and constraints: both on the balance",
         table_of({"time", "engk_total", "engs_total", "hourglass", "external_work", "plane_work",
                   "ener_total", "energy_error"},
                  {{0, 10, 0, 0, 0, 0, 10, 0}, {1e-6, 12, 5, 0, 9, 2, 17, 0}}),
         false,
         "energy [J]: kinetic | internal | taken by constraints | total + taken by constraints | "
         "work of the loads | energy in: initial kinetic + work of the loads",
         {"energy_error", "hourglass"}},
    };
    for (const Case& c : cases) {
        FigureOptions o;
        o.per_process = c.per_process;
        const Figure f = make_figure(c.table, o);
        EXPECT_EQ(summary(f), c.panels) << c.what;
        EXPECT_EQ(f.left_out, c.left_out) << c.what;
        EXPECT_EQ(f.xlabel, "time [" + mu + "s]") << c.what;
    }
}

// The numbers drawn: offset and scaled, summed, stacked.
TEST(Plot, FigureValuesAsDrawn) {
    Figure f = make_figure(
        table_of({"time", "ener_total"}, {{0, 539.3539804}, {1e-5, 538.70}, {2e-5, 538.47}}), {});
    ASSERT_EQ(f.panels.size(), 1u);
    const std::vector<double>& y = f.panels[0].curves[0].y;
    EXPECT_DOUBLE_EQ(y[0], 0.0);
    EXPECT_NEAR(y[2], (538.47 - 539.3539804) * 1e3, 1e-9);
    EXPECT_DOUBLE_EQ(f.x[1], 10.0);  // µs

    f = make_figure(table_of({"time", "p0:cnor", "p1:cnor", "p2:cnor"},
                             {{0, 0, 0, 0}, {1e-6, 1000, 37000, 500}}),
                    {});
    EXPECT_DOUBLE_EQ(f.panels[0].curves[0].y[1], 38.5);  // kN
    ASSERT_EQ(f.notes.size(), 1u);
    EXPECT_NE(f.notes[0].find("p0:cnor, p1:cnor and p2:cnor"), std::string::npos) << f.notes[0];

    f = make_figure(
        table_of({"time", "engk_total", "engs_total", "hourglass", "ener_total", "energy_error"},
                 {{0, 100, 0, 0, 100, 0}, {1e-6, 60, 38, 1, 99, -0.01}}),
        {});
    ASSERT_EQ(f.panels.size(), 2u);
    const std::vector<plot::Curve>& e = f.panels[0].curves;
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[1].style, CurveStyle::band);
    EXPECT_DOUBLE_EQ(e[1].lower[1], 60.0);               // internal on kinetic
    EXPECT_DOUBLE_EQ(e[2].y[1], 99.0);                   // hourglass on both: the top
    EXPECT_DOUBLE_EQ(e[4].y[1], 100.0);                  // energy in
    EXPECT_DOUBLE_EQ(f.panels[1].curves[0].y[1], -1.0);  // per cent

    // The data file holds a band's lower and upper edge, "?" where no value.
    testutil::TempDir dir("plot-data");
    f = make_figure(
        table_of({"time", "engk_total", "engs_total", "plane_work", "ener_total", "energy_error"},
                 {{0, 10, 0, 0, 10, 0.0078125}, {2e-6, 8, 2, 0, 10, std::nan("")}}),
        {});
    write_figure_data(f, dir / "d.dat");
    EXPECT_EQ(read_file(dir / "d.dat"), "0 0 10 10 10 10 10 0.78125\n2 0 8 8 10 10 10 ?\n");
    PlotOptions po;
    po.title = "t";
    po.data = dir / "d.dat";
    po.output = dir / "o.png";
    const std::string s = figure_script(f, po);
    EXPECT_NE(s.find("set autoscale xfix\n"), std::string::npos) << s;  // no empty time after
    EXPECT_NE(s.find("using 1:2:3 with filledcurves"), std::string::npos) << s;
    EXPECT_NE(s.find("using 1:8 with linespoints"), std::string::npos) << s;
    EXPECT_NE(s.find("title 't'.\"\\n\".'zero throughout, not drawn: "), std::string::npos) << s;
}

// A curve file names its points as the deck does when the map is beside it.
TEST(Plot, CurveFilePointsByTheDecksNumbers) {
    TempDir dir("plot-numbers");
    TwoCubes m;
    m.write(dir.path());
    write_file(dir / "bresult_curv.dat",
               curve_text({{"dz  ", 1}, {"seqv", 1}, {"seqv", 1}, {"cnor", 1}},
                          {{0, 0, 1, 1, 0}, {1e-6, -1e-3, 2, 2, 5}}));
    PlotTable t = read_plot_table(dir / "bresult_curv.dat");
    EXPECT_EQ(t.names, (std::vector<std::string>{"time", "dz@node9", "seqv@elem2", "seqv@elem2#2",
                                                 "p1:cnor"}));
    // One process's share of the contact force is not the model's.
    EXPECT_EQ(make_figure(t, {}).panels.back().curves.front().title, "normal, process 1");
    testutil::fs::remove(dir / "hexdyn.map");
    t = read_plot_table(dir / "bresult_curv.dat");
    EXPECT_EQ(t.names, (std::vector<std::string>{"time", "p1:dz@n1", "p1:seqv@1", "p1:seqv@1#2",
                                                 "p1:cnor"}));
    // Process a alone: its numbers are the deck's, its totals the model's.
    testutil::fs::remove(dir / "bresult_curv.dat");
    write_file(dir / "aresult_curv.dat", curve_text({{"vz  ", 7}, {"cnor", 1}}, {{0, -300, 2}}));
    t = read_plot_table(dir / "aresult_curv.dat");
    EXPECT_EQ(t.names, (std::vector<std::string>{"time", "vz@node7", "cnor"}));
    EXPECT_EQ(t.title, "test");
}

// The curves of a node or element name the material set it lies in, read
// from the process decks beside the file: through the map for the deck's
// numbers, through the process's own deck for its own numbers.
TEST(Plot, CurvesNameTheMaterialSetOfTheirPoint) {
    TempDir dir("plot-bodies");
    TwoCubes m;
    m.write(dir.path());
    // Process a holds element 1 (set 1), b element 2 (set 2); the face
    // between them (global nodes 2, 3, 6, 7) is in both.
    const auto deck_of = [&](const std::vector<int>& local, int set,
                             const std::array<int, 8>& corners) {
        formats::Deck d;
        d.title = "bodies";
        d.endtime = 1e-5;
        d.materials = {{"elas", {7800, 2.1e11, 0.3}}, {"elas", {2700, 7e10, 0.33}}};
        for (int g : local) d.nodes.push_back(m.global[static_cast<size_t>(g - 1)]);
        d.components = {{1, 2, 3, 4, 5, 6, 7, 8}};
        d.elements = {{set, corners}};
        return d;
    };
    formats::write_deck(deck_of(m.local_a, 1, {1, 2, 3, 4, 5, 6, 7, 8}), (dir / "a").string());
    formats::write_deck(deck_of(m.local_b, 2, {5, 1, 2, 6, 7, 3, 4, 8}), (dir / "b").string());
    const auto titles = [](const PlotTable& t) {
        std::string s;
        for (const Panel& p : make_figure(t, {}).panels)
            for (const plot::Curve& c : p.curves) s += (s.empty() ? "" : " | ") + c.title;
        return s;
    };
    write_file(dir / "bresult_curv.dat", curve_text({{"dz  ", 1}, {"dz  ", 5}, {"seqv", 1}},
                                                    {{0, 0, 0, 1}, {1e-6, -1, -2, 2}}));
    write_file(dir / "data.csv",
               "time,dz@node9,dz@node2,seqv@elem1,p1:dz@n1,dz@node99,vz\n0,0,0,1,0,0,1\n"
               "1e-6,-1,-2,2,-1,1,2\n");
    struct Case {
        const char* what;
        std::string file;
        bool map;
        std::string titles;
    };
    const Case cases[] = {
        {"curve file, map", "bresult_curv.dat", true,
         "node 9 (material set 2) | node 2 (material sets 1 and 2) | element 2 (material set 2)"},
        {"curve file, own numbers", "bresult_curv.dat", false,
         "node 1 of process 1 (its own number) (material set 2) | node 5 of process 1 (its own "
         "number) (material set 2) | element 1 of process 1 (its own number) (material set 2)"},
        {"CSV, map; a node of no deck and a column of no point stay as they are", "data.csv", true,
         "node 9 (material set 2) | node 2 (material sets 1 and 2) | node 1 of process 1 (its own "
         "number) (material set 2) | node 99 | element 1 (material set 1) | vz"},
    };
    for (const Case& c : cases) {
        if (!c.map) testutil::fs::remove(dir / "hexdyn.map");
        EXPECT_EQ(titles(read_plot_table(dir / c.file)), c.titles) << c.what;
        if (!c.map) write_file(dir / "hexdyn.map", m.map_text());
    }
    // Without the decks the points keep their numbers alone.
    testutil::fs::remove(dir / "b");
    EXPECT_EQ(titles(read_plot_table(dir / "bresult_curv.dat")),
              "node 9 | node 2 (material set 1) | element 2");
}
