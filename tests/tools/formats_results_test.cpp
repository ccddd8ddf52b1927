// Reading the solver's result files, merging them over the processes and
// exporting them (VTK XML series, CSV), and building plots of curves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "export/export.hpp"
#include "formats/results.hpp"
#include "plot/plot.hpp"
#include "testutil.hpp"
#include "texts.hpp"
#include "xml_check.hpp"

using namespace results;
using testutil::d15;
using testutil::e12;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

namespace {

// ---------------------------------------------------- result file builders

struct Zone {
    double time;
    std::vector<std::array<double, 3>> xyz;
};

std::string anim_text(const std::vector<Zone>& zones, const std::vector<std::array<int, 8>>& conn) {
    std::string t = "TITLE = \"test" + std::string(56, ' ') + "\"\nVARIABLES= \"X\"   \"Y\"   \"Z\"  \n\n";
    for (size_t z = 0; z < zones.size(); ++z) {
        char h[160];
        std::snprintf(h, sizeof h, "ZONE T=\"Time =%s\" F=FEPOINT N=%5zu E=%5zu ET=BRICK C=CYAN%s\n",
                      e12(zones[z].time).c_str(), zones[z].xyz.size(), conn.size(), z ? " D=(FECONNECT)" : "");
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

std::string curve_text(const std::vector<Curve>& curves, const std::vector<std::vector<double>>& records) {
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
    std::vector<std::array<double, 3>> global = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1},
                                                 {1, 1, 1}, {0, 1, 1}, {2, 0, 0}, {2, 1, 0}, {2, 0, 1}, {2, 1, 1}};
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
        std::string m = "hexdyn-map 1\nnprocs 2 nodes 12 elements 2\nproc 0 deck a nodes 8 elements 1\n";
        for (int g : local_a) m += std::to_string(g) + "\n";
        m += "1\nproc 1 deck b nodes 8 elements 1\n";
        for (int g : local_b) m += std::to_string(g) + "\n";
        return m + "2\n";
    }
    // Curve records: seqv of the process's element, engk, engs.
    std::vector<std::vector<double>> records(double scale) const {
        std::vector<std::vector<double>> r;
        for (size_t z = 0; z < times.size(); ++z)
            r.push_back({times[z], 1.5e8 * scale * static_cast<double>(z), 100.0 * scale + static_cast<double>(z),
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

std::vector<std::string> csv_row(const std::string& csv, size_t row) {
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

const xmlcheck::Node& data_array(const xmlcheck::Node& section, const std::string& name) {
    for (const xmlcheck::Node* d : section.all("DataArray"))
        if (d->attr("Name") == name) return *d;
    throw std::runtime_error("no DataArray " + name);
}

}  // namespace

// ------------------------------------------------------------- numbers

TEST(ResultNumbers, FortranRealFields) {
    struct Case {
        const char* text;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"  1.5000E-03", true, 1.5e-3},      {" -1.2340E+01", true, -12.34},
        {"   0.150000D+09", true, 1.5e8},    {"  -0.250000D-03", true, -2.5e-4},
        {"   0.000000D+00", true, 0.0},      {"  1.0000+100", true, 1e100},
        {" -1.0000-100", true, -1e-100},     {"   0.100000-100", true, 1e-101},
        {"   0.123456+123", true, 1.23456e122}, {"+2.5", true, 2.5},
        {"***", false, 0},                   {"", false, 0},
        {"   ", false, 0},                   {"1.0E", false, 0},
        {"1.0.0", false, 0},                 {"abc", false, 0},
        {"1.0 2.0", false, 0},
    };
    for (const Case& c : cases) {
        double v = -7.0;
        EXPECT_EQ(parse_real(c.text, v), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << '"' << c.text << '"';
        }
    }
    double v = 0;
    ASSERT_TRUE(parse_real("         NaN", v));
    EXPECT_TRUE(std::isnan(v));
    ASSERT_TRUE(parse_real("   -Infinity", v));
    EXPECT_TRUE(std::isinf(v) && v < 0);
    ASSERT_TRUE(parse_real("Infinity", v));
    EXPECT_TRUE(std::isinf(v) && v > 0);
}

TEST(ResultNumbers, IntegerFieldsAndOverflow) {
    long long v = 0;
    EXPECT_TRUE(parse_int("      7", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(parse_int(" -3", v));
    EXPECT_EQ(v, -3);
    EXPECT_FALSE(parse_int("*****", v));
    EXPECT_FALSE(parse_int("  1 2", v));
    EXPECT_FALSE(parse_int("", v));
    EXPECT_TRUE(is_overflow("  *****"));
    EXPECT_FALSE(is_overflow("   "));
    EXPECT_FALSE(is_overflow("  *1"));
}

TEST(ResultNumbers, DeckNamesFollowProcessNumbers) {
    const std::pair<int, const char*> cases[] = {{0, "a"},  {1, "b"},   {25, "z"},  {26, "aa"},
                                                 {27, "ab"}, {701, "zz"}, {702, "aaa"}};
    for (const auto& [p, name] : cases) EXPECT_EQ(deck_name(p), name) << p;
}

TEST(ResultLines, LongLinesChunkBoundariesCrLfAndLastLineWithoutNewline) {
    TempDir dir("lines");
    const std::string big(3'000'000, 'x');
    std::string text = "first\r\n" + big + "\n\nlast";
    write_file(dir / "f", text);
    LineReader in(dir / "f");
    std::string_view l;
    ASSERT_TRUE(in.next(l));
    EXPECT_EQ(l, "first");
    ASSERT_TRUE(in.next(l));
    EXPECT_EQ(l.size(), big.size());
    ASSERT_TRUE(in.next(l));
    EXPECT_EQ(l, "");
    ASSERT_TRUE(in.next(l));
    EXPECT_EQ(l, "last");
    EXPECT_EQ(in.line_number(), 4);
    EXPECT_FALSE(in.next(l));
    EXPECT_THROW(LineReader(dir / "missing"), Error);
}

// ---------------------------------------------------------- animation file

TEST(AnimFile, ReadsZonesConnectivityAndCountsThatOverflowedTheirFields) {
    TempDir dir("anim");
    TwoCubes m;
    std::string text = anim_text(m.zones(m.local_b), {{5, 1, 2, 6, 7, 3, 4, 8}});
    for (bool overflow : {false, true}) {
        std::string t = text;
        if (overflow) {
            // Counts too wide for I5 print as asterisks; the reader counts the records.
            size_t p = 0;
            while ((p = t.find("N=    8 E=    1", p)) != std::string::npos) t.replace(p, 15, "N=***** E=*****");
        }
        write_file(dir / "x", t);
        AnimReader r(dir / "x");
        AnimZone z;
        int zones = 0;
        while (r.next(z)) {
            EXPECT_DOUBLE_EQ(z.time, std::stod(e12(m.times[static_cast<size_t>(zones)])));
            ASSERT_EQ(z.xyz.size(), 24u);
            const auto p = m.at(9, static_cast<size_t>(zones));
            EXPECT_NEAR(z.xyz[0], p[0], 1e-4);
            EXPECT_NEAR(z.xyz[2], p[2], 1e-4);
            ++zones;
        }
        EXPECT_EQ(zones, 3) << overflow;
        EXPECT_EQ(r.nodes(), 8);
        EXPECT_EQ(r.elements(), 1);
        ASSERT_EQ(r.connectivity().size(), 1u);
        EXPECT_EQ(r.connectivity()[0][0], 5);
        EXPECT_EQ(r.connectivity()[0][7], 8);
    }
}

TEST(AnimFile, ProcessWithoutElementsAndHugeCoordinates) {
    TempDir dir("anim0");
    std::string t = anim_text({{0.0, {{1e100, -1e-100, 0}}}}, {});
    // Three-digit exponents drop the letter E.
    size_t p;
    while ((p = t.find("E+100")) != std::string::npos) t.replace(p, 5, "+100");
    while ((p = t.find("E-100")) != std::string::npos) t.replace(p, 5, "-100");
    // Keep the 12-column fields.
    t.replace(t.find(" 1.0000+100"), 11, "  1.0000+100");
    t.replace(t.find("-1.0000-100"), 11, " -1.0000-100");
    write_file(dir / "x", t);
    AnimReader r(dir / "x");
    AnimZone z;
    ASSERT_TRUE(r.next(z));
    EXPECT_EQ(r.elements(), 0);
    EXPECT_DOUBLE_EQ(z.xyz[0], 1e100);
    EXPECT_DOUBLE_EQ(z.xyz[1], -1e-100);
    EXPECT_FALSE(r.next(z));
}

// Kept out of line: GCC 12 warns wrongly about the inlined substring.
[[gnu::noinline]] std::string without_first_line(const std::string& s) { return s.substr(s.find('\n') + 1); }

TEST(AnimFile, MalformedFilesAreRejectedWithFileAndLine) {
    TwoCubes m;
    const std::string good = anim_text(m.zones(m.local_a), {{1, 2, 3, 4, 5, 6, 7, 8}});
    struct Case {
        const char* what;
        std::function<std::string(std::string)> edit;
        const char* message;
    };
    auto replace = [](std::string s, const std::string& a, const std::string& b) {
        s.replace(s.find(a), a.size(), b);
        return s;
    };
    const Case cases[] = {
        {"empty file", [](std::string) { return std::string(); }, "empty"},
        {"header only", [](std::string s) { return s.substr(0, s.find("ZONE")); }, "no zone"},
        {"no title", [](std::string s) { return without_first_line(s); }, "title record"},
        {"truncated zone", [](std::string s) { return s.substr(0, s.rfind('\n', s.size() - 2) + 1); },
         "ends inside zone 3 after 7 of its 8 node records"},
        {"bad coordinate", [&](std::string s) { return replace(s, "  1.0000E+00", "  1.0000X+00"); },
         "malformed coordinate"},
        {"short node record", [&](std::string s) { return replace(s, "  1.0000E+00", "1.0000E+00"); },
         "malformed node record"},
        {"connectivity out of range", [&](std::string s) { return replace(s, "      8\n", "      9\n"); },
         "outside 1..8"},
        {"second run appended", [&](std::string s) { return replace(s, " D=(FECONNECT)", ""); },
         "more than one run"},
        {"first zone refers to connectivity",
         [&](std::string s) { return replace(s, "C=CYAN\n", "C=CYAN D=(FECONNECT)\n"); }, "never given"},
        {"later zone with other node count",
         [&](std::string s) { return replace(s, "N=    8 E=    1 ET=BRICK C=CYAN D=", "N=    9 E=    1 ET=BRICK C=CYAN D="); },
         "has 9 nodes"},
        {"bad time", [&](std::string s) { return replace(s, "Time =  0.0000E+00", "Time =  zero"); },
         "malformed time"},
    };
    TempDir dir("animbad");
    for (const Case& c : cases) {
        write_file(dir / "aresult_anim.dat", c.edit(good));
        try {
            AnimReader r(dir / "aresult_anim.dat");
            AnimZone z;
            while (r.next(z)) {
            }
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find("aresult_anim.dat"), std::string::npos) << c.what;
        }
    }
}

// --------------------------------------------------------------- curve file

TEST(CurveFile, ColumnsIntegerFieldsThatTouchAndOverflow) {
    TempDir dir("curv");
    std::string t = "TITLE = \"t\"\nVARIABLES= \"Time\" \"seqv at     5\" \"mat  at    12\" \"ener at     1\" "
                    "\"sm   at******\"\n\n";
    t += "   0.000000D+00   0.150000D+09100   0.100000-100  -0.250000D-03\n";
    t += "   0.100000D-05   0.000000D+00***  -0.300000D+01   0.000000D+00\n";
    write_file(dir / "c", t);
    CurveReader r(dir / "c");
    ASSERT_EQ(r.columns().size(), 4u);
    EXPECT_EQ(r.columns()[0].variable, "seqv");
    EXPECT_EQ(r.columns()[0].element, 5);
    EXPECT_EQ(r.columns()[1].variable, "mat");
    EXPECT_TRUE(r.columns()[1].integer);
    EXPECT_TRUE(r.columns()[2].energy);
    EXPECT_EQ(r.columns()[3].variable, "sm");
    EXPECT_EQ(r.columns()[3].element, -1);
    double time = 0;
    std::vector<double> v;
    ASSERT_TRUE(r.next(time, v));
    EXPECT_DOUBLE_EQ(v[0], 1.5e8);
    EXPECT_DOUBLE_EQ(v[1], 100.0);
    EXPECT_DOUBLE_EQ(v[2], 1e-101);
    EXPECT_DOUBLE_EQ(v[3], -2.5e-4);
    ASSERT_TRUE(r.next(time, v));
    EXPECT_DOUBLE_EQ(time, 1e-6);
    EXPECT_TRUE(std::isnan(v[1]));
    EXPECT_FALSE(r.next(time, v));
}

TEST(CurveFile, MalformedFilesAreRejected) {
    struct Case {
        const char* what;
        std::string text;
        const char* message;
    };
    const std::string head = "TITLE = \"t\"\nVARIABLES= \"Time\" \"seqv at     5\"\n\n";
    const Case cases[] = {
        {"unknown variable", "TITLE = \"t\"\nVARIABLES= \"Time\" \"temp at     5\"\n\n", "unknown result variable"},
        {"no Time column", "TITLE = \"t\"\nVARIABLES= \"seqv at     5\"\n\n", "\"Time\""},
        {"unbalanced quotes", "TITLE = \"t\"\nVARIABLES= \"Time\" \"seqv at     5\n\n", "unbalanced"},
        {"short record", head + "   0.000000D+00\n", "expected 30"},
        {"garbage value", head + "   0.000000D+00   0.15000xD+09\n", "malformed value"},
        {"bad time", head + "   zero           0.150000D+09\n", "malformed time"},
        {"no column record", "TITLE = \"t\"\n", "ends after its title"},
    };
    TempDir dir("curvbad");
    for (const Case& c : cases) {
        write_file(dir / "c", c.text);
        try {
            CurveReader r(dir / "c");
            double t;
            std::vector<double> v;
            while (r.next(t, v)) {
            }
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
        }
    }
}

// ----------------------------------------------------------------- map file

TEST(MapFile, ReadsBlocksAndRejectsInconsistentMaps) {
    TempDir dir("map");
    TwoCubes m;
    write_file(dir / "m", m.map_text());
    const Map map = read_map(dir / "m");
    EXPECT_EQ(map.nodes, 12);
    EXPECT_EQ(map.elements, 2);
    ASSERT_EQ(map.procs.size(), 2u);
    EXPECT_EQ(map.procs[1].deck, "b");
    EXPECT_EQ(map.procs[1].node_global[4], 2);
    EXPECT_EQ(map.procs[1].element_global[0], 2);

    auto edit = [&](const std::string& a, const std::string& b) {
        std::string s = m.map_text();
        s.replace(s.find(a), a.size(), b);
        return s;
    };
    const std::pair<std::string, const char*> cases[] = {
        {"hexdyn-map 2\n", "version"},
        {"", "the file ends where \"hexdyn-map\" is expected"},
        {edit("hexdyn-map", "mesh-map"), "expected \"hexdyn-map\""},
        {edit("proc 1 deck b", "proc 2 deck b"), "process number 2"},
        {edit("proc 1 deck b", "proc 1 deck a"), "share the deck name"},
        {m.map_text().substr(0, m.map_text().size() - 2) + "1\n", "global element 1 is given to process 0 and to process 1"},
        {edit("\n9\n", "\n13\n"), "global node number 13 is outside 1..12"},
        {edit("\n9\n", "\n10\n"), "lists global node 10 twice"},
        {edit("\n9\n", "\n1\n"), "global node 9 is held by no process"},
        {edit("nodes 12 elements 2", "nodes 12 elements 3"), "global element 3 belongs to no process"},
        {m.map_text() + "7\n", "unexpected \"7\""},
        {m.map_text().substr(0, m.map_text().size() - 2), "the file ends"},
        {edit("nodes 8 elements 1\n1\n", "nodes 8 elements 1\nx\n"), "is not an integer"},
    };
    for (const auto& [text, message] : cases) {
        write_file(dir / "m", text);
        try {
            read_map(dir / "m");
            ADD_FAILURE() << message << ": accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

// ------------------------------------------------------------ curve layout

TEST(CurveLayout, NamesAndTotalsDependOnNumberingAndSharing) {
    const std::vector<long long> glob_a = {37}, glob_b = {5, 6};
    auto procs = [&](bool with_map) {
        std::vector<ProcessCurves> p(2);
        p[0].id = 0;
        p[0].columns = {{"seqv", 1, false, false}, {"engk", 1, false, true}, {"engs", 1, false, true}};
        p[0].elements = 1;
        p[1].id = 1;
        p[1].columns = {{"seqv", 2, false, false}, {"mat", 2, true, false}, {"engk", 1, false, true},
                        {"engs", 1, false, true}, {"seqv", 2, false, false}};
        p[1].elements = 2;
        if (with_map) {
            p[0].element_global = &glob_a;
            p[1].element_global = &glob_b;
        }
        return p;
    };
    struct Case {
        bool map;
        bool additive;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {true, true,
         {"time", "seqv@elem37", "p0:engk", "p0:engs", "seqv@elem6", "mat@elem6", "p1:engk", "p1:engs", "seqv@elem6#2",
          "engk_total", "engs_total"}},
        {true, false,
         {"time", "seqv@elem37", "p0:engk", "p0:engs", "seqv@elem6", "mat@elem6", "p1:engk", "p1:engs", "seqv@elem6#2",
          "engs_total"}},
        {false, false,
         {"time", "p0:seqv@1", "p0:engk", "p0:engs", "p1:seqv@2", "p1:mat@2", "p1:engk", "p1:engs", "p1:seqv@2#2",
          "engs_total"}},
    };
    for (const Case& c : cases) {
        const CurveLayout lay = curve_layout(procs(c.map), false, c.additive);
        EXPECT_EQ(lay.names, c.names);
        ASSERT_FALSE(lay.totals.empty());
        EXPECT_EQ(lay.totals.back().column_of_process, (std::vector<size_t>{2, 3}));
        EXPECT_EQ(lay.notes.size(), c.additive ? 0u : 1u);
    }

    // A process without the energy curve: no total, and a note saying why.
    auto p = procs(true);
    p[1].columns.erase(p[1].columns.begin() + 3);
    CurveLayout lay = curve_layout(p, false, true);
    EXPECT_EQ(lay.names.back(), "engk_total");
    ASSERT_EQ(lay.notes.size(), 1u);
    EXPECT_NE(lay.notes[0].find("no engs curve"), std::string::npos);

    // One process in its own numbering, which is the global one.
    std::vector<ProcessCurves> one(1);
    one[0].columns = {{"seqv", 3, false, false}, {"ener", 1, false, true}};
    one[0].elements = 3;
    EXPECT_EQ(curve_layout(one, true, true).names,
              (std::vector<std::string>{"time", "seqv@elem3", "ener", "ener_total"}));

    // A curve on an element the process does not have.
    one[0].elements = 2;
    EXPECT_THROW(curve_layout(one, true, true), Error);
}

// ------------------------------------------------------------------- export

TEST(Export, MergesTwoProcessesIntoTheGlobalMeshSeries) {
    TempDir dir("export");
    TwoCubes m;
    m.write(dir.path());
    ExportOptions opt;
    opt.dir = dir.path();
    const ExportReport rep = run_export(opt);
    EXPECT_TRUE(rep.used_map);
    EXPECT_EQ(rep.processes, 2);
    EXPECT_EQ(rep.nodes, 12);
    EXPECT_EQ(rep.elements, 2);
    EXPECT_EQ(rep.zones, 3);
    EXPECT_TRUE(rep.precise_times);
    ASSERT_EQ(rep.vtu.size(), 3u);

    // Collection: one data set per output time, with the 6-digit curve times.
    const xmlcheck::Node pvd = xmlcheck::parse(read_file(dir / "hexdyn.pvd"));
    const auto sets = pvd.child("Collection")->all("DataSet");
    ASSERT_EQ(sets.size(), 3u);
    for (size_t z = 0; z < 3; ++z) {
        EXPECT_DOUBLE_EQ(std::stod(sets[z]->attr("timestep")), m.times[z]);
        EXPECT_EQ(sets[z]->attr("file"), rep.vtu[z].filename().string());
    }

    for (size_t z = 0; z < 3; ++z) {
        const xmlcheck::Node vtu = xmlcheck::parse(read_file(rep.vtu[z]));
        ASSERT_EQ(vtu.attr("type"), "UnstructuredGrid");
        const xmlcheck::Node& piece = *vtu.child("UnstructuredGrid")->child("Piece");
        EXPECT_EQ(piece.attr("NumberOfPoints"), "12");
        EXPECT_EQ(piece.attr("NumberOfCells"), "2");
        const auto pts = xmlcheck::numbers(data_array(*piece.child("Points"), "Points"));
        const auto disp = xmlcheck::numbers(data_array(*piece.child("PointData"), "displacement"));
        const auto ids = xmlcheck::numbers(data_array(*piece.child("PointData"), "node"));
        ASSERT_EQ(pts.size(), 36u);
        ASSERT_EQ(disp.size(), 36u);
        for (int g = 1; g <= 12; ++g) {
            EXPECT_EQ(ids[static_cast<size_t>(g - 1)], g);
            const auto p = m.at(g, z);
            const auto p0 = m.at(g, 0);
            for (size_t c = 0; c < 3; ++c) {
                const size_t i = static_cast<size_t>(3 * (g - 1)) + c;
                EXPECT_NEAR(pts[i], p[c], 1e-4) << "zone " << z << " node " << g;
                EXPECT_NEAR(disp[i], p[c] - p0[c], 2e-4) << "zone " << z << " node " << g;
                if (z == 0) {
                    EXPECT_EQ(disp[i], 0.0);
                }
            }
        }
        const xmlcheck::Node& cells = *piece.child("Cells");
        EXPECT_EQ(xmlcheck::numbers(data_array(cells, "connectivity")),
                  (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 1, 8, 9, 2, 5, 10, 11, 6}));
        EXPECT_EQ(xmlcheck::numbers(data_array(cells, "offsets")), (std::vector<double>{8, 16}));
        EXPECT_EQ(xmlcheck::numbers(data_array(cells, "types")), (std::vector<double>{12, 12}));
        EXPECT_EQ(xmlcheck::numbers(data_array(*piece.child("CellData"), "process")), (std::vector<double>{0, 1}));
        EXPECT_EQ(xmlcheck::numbers(data_array(*piece.child("CellData"), "element")), (std::vector<double>{1, 2}));
    }

    // CSV: curves of both processes under global element numbers; the strain
    // energy summed; no kinetic total, since the processes share 4 nodes.
    const std::string csv = read_file(dir / "hexdyn.csv");
    EXPECT_EQ(csv_row(csv, 0), (std::vector<std::string>{"time", "seqv@elem1", "p0:engk", "p0:engs", "seqv@elem2",
                                                         "p1:engk", "p1:engs", "engs_total"}));
    const auto r2 = csv_row(csv, 3);
    ASSERT_EQ(r2.size(), 8u);
    EXPECT_DOUBLE_EQ(std::stod(r2[0]), 2.46912e-4);
    EXPECT_DOUBLE_EQ(std::stod(r2[1]), 3e8);
    EXPECT_DOUBLE_EQ(std::stod(r2[4]), 6e8);
    EXPECT_EQ(r2[7], "15");  // 5 + 10, written without binary noise
    EXPECT_EQ(rep.curve_records, 3);
    bool noted = false;
    for (const std::string& n : rep.notes) noted = noted || n.find("no engk_total") != std::string::npos;
    EXPECT_TRUE(noted);
}

TEST(Export, KineticTotalsWhenNoNodeIsSharedAndSingleProcessWithoutMap) {
    TempDir dir("export2");
    // Two separate cubes: process b's nodes are its own (global 9..16).
    TwoCubes m;
    m.global.resize(16);
    for (int k = 0; k < 8; ++k) m.global[static_cast<size_t>(8 + k)] = {m.global[static_cast<size_t>(k)][0] + 5.0,
                                                                          m.global[static_cast<size_t>(k)][1],
                                                                          m.global[static_cast<size_t>(k)][2]};
    m.local_b = {9, 10, 11, 12, 13, 14, 15, 16};
    m.write(dir.path());
    std::string map = m.map_text();
    map.replace(map.find("nodes 12"), 8, "nodes 16");
    write_file(dir / "hexdyn.map", map);
    ExportOptions opt;
    opt.dir = dir.path();
    opt.out = dir / "series";
    const ExportReport rep = run_export(opt);
    EXPECT_EQ(rep.nodes, 16);
    const std::string csv = read_file(dir / "series.csv");
    const auto head = csv_row(csv, 0);
    ASSERT_EQ(head.size(), 9u);
    EXPECT_EQ(head[7], "engk_total");
    EXPECT_EQ(head[8], "engs_total");
    EXPECT_EQ(csv_row(csv, 2)[7], "302");  // (100 + 1) + (200 + 1)
    EXPECT_TRUE(testutil::fs::exists(dir / "series.pvd"));
    EXPECT_TRUE(testutil::fs::exists(dir / "series_0002.vtu"));

    // Process "a" alone, without a map: its numbering is the global one.
    TempDir one("export1");
    write_file(one / "aresult_anim.dat", anim_text(m.zones(m.local_a), {{1, 2, 3, 4, 5, 6, 7, 8}}));
    write_file(one / "aresult_curv.dat", curve_text({{"seqv", 1}, {"ener", 1}}, m.records(1.0)));
    opt.dir = one.path();
    opt.out.clear();
    const ExportReport r1 = run_export(opt);
    EXPECT_FALSE(r1.used_map);
    EXPECT_EQ(r1.nodes, 8);
    EXPECT_EQ(csv_row(read_file(one / "hexdyn.csv"), 0),
              (std::vector<std::string>{"time", "seqv@elem1", "ener", "ener_total"}));
}

TEST(Export, WithoutMapSeveralProcessesAreExportedSideBySide) {
    TempDir dir("export3");
    TwoCubes m;
    m.write(dir.path());
    testutil::fs::remove(dir / "hexdyn.map");
    ExportOptions opt;
    opt.dir = dir.path();
    const ExportReport rep = run_export(opt);
    EXPECT_EQ(rep.nodes, 16);
    EXPECT_EQ(rep.elements, 2);
    const xmlcheck::Node vtu = xmlcheck::parse(read_file(rep.vtu[0]));
    const xmlcheck::Node& piece = *vtu.child("UnstructuredGrid")->child("Piece");
    EXPECT_EQ(xmlcheck::numbers(data_array(*piece.child("Cells"), "connectivity")),
              (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 12, 8, 9, 13, 14, 10, 11, 15}));
    EXPECT_EQ(csv_row(read_file(dir / "hexdyn.csv"), 0),
              (std::vector<std::string>{"time", "p0:seqv@1", "p0:engk", "p0:engs", "p1:seqv@1", "p1:engk", "p1:engs",
                                        "engs_total"}));
}

TEST(Export, InconsistentOrMissingInputFailsWithoutLeavingACollection) {
    TwoCubes m;
    struct Case {
        const char* what;
        std::function<void(const testutil::fs::path&)> spoil;
        const char* message;
    };
    auto edit = [](const testutil::fs::path& f, const std::string& a, const std::string& b) {
        std::string s = read_file(f);
        const size_t p = s.rfind(a);
        ASSERT_NE(p, std::string::npos) << a;
        s.replace(p, a.size(), b);
        write_file(f, s);
    };
    const Case cases[] = {
        {"missing animation file", [](const auto& d) { testutil::fs::remove(d / "bresult_anim.dat"); },
         "missing animation file"},
        {"missing curve file", [](const auto& d) { testutil::fs::remove(d / "bresult_curv.dat"); },
         "missing curve file"},
        {"fewer zones in b",
         [&](const auto& d) {
             std::string s = read_file(d / "bresult_anim.dat");
             write_file(d / "bresult_anim.dat", s.substr(0, s.rfind("ZONE")));
         },
         "inconsistent zone counts"},
        {"zone time differs", [&](const auto& d) { edit(d / "bresult_anim.dat", " 2.4691E-04", " 2.4692E-04"); },
         "did not run in lockstep"},
        {"fewer curve records in a",
         [&](const auto& d) {
             std::string s = read_file(d / "aresult_curv.dat");
             s.pop_back();
             write_file(d / "aresult_curv.dat", s.substr(0, s.rfind('\n') + 1));
         },
         "same number of records"},
        {"curve time differs", [&](const auto& d) { edit(d / "bresult_curv.dat", "0.246912D-03", "0.246913D-03"); },
         "did not run in lockstep"},
        {"map swaps a shared and an own node of b",
         [&](const auto& d) {
             std::string s = m.map_text();
             s.replace(s.find("\n12\n2\n"), 6, "\n2\n12\n");
             write_file(d / "hexdyn.map", s);
         },
         "the map does not match the result files"},
        {"b holds a node more than the map gives it",
         [&](const auto& d) {
             std::vector<int> more = m.local_b;
             more.push_back(9);
             write_file(d / "bresult_anim.dat", anim_text(m.zones(more), {{5, 1, 2, 6, 7, 3, 4, 8}}));
         },
         "the map gives process 1 8 nodes"},
        {"curve on a missing element", [&](const auto& d) { edit(d / "bresult_curv.dat", "seqv at     1", "seqv at     2"); },
         "names element 2"},
        {"malformed node record", [&](const auto& d) { edit(d / "bresult_anim.dat", "  2.0000E+00", "  2.0000E+0x"); },
         "bresult_anim.dat:"},
    };
    for (const Case& c : cases) {
        TempDir dir("exportbad");
        m.write(dir.path());
        ExportOptions opt;
        opt.dir = dir.path();
        run_export(opt);  // a first, good export leaves a collection behind
        ASSERT_TRUE(testutil::fs::exists(dir / "hexdyn.pvd"));
        c.spoil(dir.path());
        try {
            run_export(opt);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
        }
        EXPECT_FALSE(testutil::fs::exists(dir / "hexdyn.pvd")) << c.what;
    }

    TempDir dir("exportopt");
    m.write(dir.path());
    ExportOptions opt;
    opt.dir = dir.path();
    opt.map = dir / "other.map";
    EXPECT_THROW(run_export(opt), Error);
    opt.map.clear();
    opt.out = dir / "no" / "such" / "prefix";
    EXPECT_THROW(run_export(opt), Error);
    opt.out.clear();
    opt.dir = dir / "nowhere";
    EXPECT_THROW(run_export(opt), Error);
    TempDir empty("exportempty");
    opt.dir = empty.path();
    EXPECT_THROW(run_export(opt), Error);
}

// --------------------------------------------------------------------- plot

TEST(Plot, VariableOfColumnNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"seqv@elem37", "seqv"}, {"p1:seqv@5", "seqv"}, {"p0:engk", "engk"},   {"engk_total", "engk"},
        {"seqv@elem6#2", "seqv"}, {"mat@elem2", "mat"},  {"pressure", "pressure"}, {"_total", "_total"},
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
    EXPECT_NE(s.find("using 1:6 with linespoints pt 7 ps 0.6 title 'engk_total'"), std::string::npos) << s;
    EXPECT_NE(s.find("noenhanced"), std::string::npos);

    for (auto& r : t.rows) std::fill(r.begin() + 1, r.end(), nan);
    EXPECT_THROW(plot_script(t, o, notes), Error);
}

TEST(Plot, ReadsCurveFilesAndCsvAndRejectsMalformedCsv) {
    TempDir dir("plot");
    TwoCubes m;
    write_file(dir / "aresult_curv.dat", curve_text({{"seqv", 1}, {"mat ", 1}, {"engk", 1}}, {{0, 1.5, 1, 2}, {1e-6, 2, 1, 3}}));
    PlotTable t = read_plot_table(dir / "aresult_curv.dat");
    EXPECT_EQ(t.title, "test");
    EXPECT_EQ(t.names, (std::vector<std::string>{"time", "seqv@elem1", "mat@elem1", "engk"}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_DOUBLE_EQ(t.rows[1][0], 1e-6);

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
        try {
            read_plot_table(dir / "c.csv");
            ADD_FAILURE() << message << ": accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(read_plot_table(dir / "missing.csv"), Error);
}
