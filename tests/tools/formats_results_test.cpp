// Readers of the solver's animation and curve files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "formats/results.hpp"
#include "rejected.hpp"
#include "result_files.hpp"
#include "testutil.hpp"

using toolcases::expect_rejected;
using namespace formats;
using namespace resultfiles;
using testutil::TempDir;
using testutil::write_file;

TEST(AnimFile, ReadsZonesConnectivityAndCountsThatOverflowedTheirFields) {
    TempDir dir("anim");
    TwoCubes m;
    std::string text = anim_text(m.zones(m.local_b), {{5, 1, 2, 6, 7, 3, 4, 8}});
    for (bool overflow : {false, true}) {
        std::string t = text;
        if (overflow) {
            // Counts too wide for I5 print as asterisks; the reader counts the records.
            size_t p = 0;
            while ((p = t.find("N=    8 E=    1", p)) != std::string::npos)
                t.replace(p, 15, "N=***** E=*****");
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
[[gnu::noinline]] std::string without_first_line(const std::string& s) {
    return s.substr(s.find('\n') + 1);
}

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
        {"first zone cut",
         [](std::string s) {
             size_t p = s.find("ZONE");
             for (int k = 0; k < 6; ++k) p = s.find('\n', p) + 1;
             return s.substr(0, p);
         },
         "ends inside zone 1 after 5 of its 8 node records"},
        {"bad coordinate",
         [&](std::string s) { return replace(s, "  1.0000E+00", "  1.0000X+00"); },
         "malformed coordinate"},
        {"short node record",
         [&](std::string s) { return replace(s, "  1.0000E+00", "1.0000E+00"); },
         "malformed node record"},
        {"connectivity out of range",
         [&](std::string s) { return replace(s, "      8\n", "      9\n"); }, "outside 1..8"},
        {"second run appended", [&](std::string s) { return replace(s, " D=(FECONNECT)", ""); },
         "more than one run"},
        {"first zone refers to connectivity",
         [&](std::string s) { return replace(s, "C=CYAN\n", "C=CYAN D=(FECONNECT)\n"); },
         "never given"},
        {"later zone with other node count",
         [&](std::string s) {
             return replace(
                 s, "N=    8 E=    1 ET=BRICK C=CYAN D=", "N=    9 E=    1 ET=BRICK C=CYAN D=");
         },
         "has 9 nodes"},
        {"bad time",
         [&](std::string s) { return replace(s, "Time =  0.0000E+00", "Time =  zero"); },
         "malformed time"},
        {"NaN time",
         [&](std::string s) { return replace(s, "Time =  1.2346E-04", "Time =         NaN"); },
         "aresult_anim.dat:14: the time \"NaN\" of zone 2 is not a finite number"},
        {"infinite coordinate",
         [&](std::string s) { return replace(s, "  1.0000E+00", "    Infinity"); },
         "aresult_anim.dat:6: coordinate \"Infinity\" of node 2 in zone 1 is not a finite number"},
        {"count beyond the file",
         [&](std::string s) { return replace(s, "N=    8", "N= 4000000000000000000"); },
         "aresult_anim.dat:4: zone 1 announces 4000000000000000000 nodes and 1 elements, more "
         "records than the rest of the file ("},
        {"line cut in the middle of the file",
         [&](std::string s) { return replace(s, "  1.0000E+00\n", "  1.00"); },
         "malformed node record"},
    };
    TempDir dir("animbad");
    for (const Case& c : cases) {
        write_file(dir / "aresult_anim.dat", c.edit(good));
        const std::string error = expect_rejected(
            [&] {
                AnimReader r(dir / "aresult_anim.dat");
                AnimZone z;
                while (r.next(z)) {}
            },
            c.message, c.what);
        if (!error.empty()) {
            EXPECT_NE(error.find("aresult_anim.dat"), std::string::npos) << c.what;
        }
    }
}

// A run killed while writing: the file ends inside its last zone, at a line
// end or inside a line. The zones before it are read; a cut in the first zone
// stays an error (see above).
TEST(AnimFile, LastZoneCutOffEndsTheFileBeforeIt) {
    TwoCubes m;
    const std::string good = anim_text(m.zones(m.local_a), {{1, 2, 3, 4, 5, 6, 7, 8}});
    const size_t zone3 = good.rfind("ZONE");
    const size_t node2 = good.find('\n', good.find('\n', zone3) + 1) + 1;  // after 1 node record
    struct Case {
        const char* what;
        std::string text;
        long long line;
    };
    const Case cases[] = {
        {"at a line end", good.substr(0, node2), 24},
        {"inside a node record", good.substr(0, node2 + 9), 25},
        {"inside the zone record", good.substr(0, zone3 + 20), 23},
        {"after the zone record", good.substr(0, good.find('\n', zone3) + 1), 23},
    };
    for (const Case& c : cases) {
        AnimReader r(LineReader::from_text(c.text, "a.dat"));
        AnimZone z;
        int zones = 0;
        while (r.next(z)) ++zones;
        EXPECT_EQ(zones, 2) << c.what;
        EXPECT_EQ(r.cut_zone(), 3) << c.what;
        EXPECT_EQ(r.cut_line(), c.line) << c.what;
        EXPECT_FALSE(r.next(z)) << c.what;
    }
    AnimReader whole(LineReader::from_text(good, "a.dat"));
    AnimZone z;
    while (whole.next(z)) {}
    EXPECT_EQ(whole.cut_zone(), 0);
}

// --------------------------------------------------------------- curve file

TEST(CurveFile, ColumnsIntegerFieldsThatTouchAndOverflow) {
    TempDir dir("curv");
    std::string t =
        "TITLE = \"t\"\nVARIABLES= \"Time\" \"seqv at     5\" \"mat  at    12\" \"ener at     1\" "
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

TEST(CurveFile, LastRecordCutOffEndsTheFileBeforeIt) {
    const std::string head = "TITLE = \"t\"\nVARIABLES= \"Time\" \"seqv at     5\"\n\n";
    const std::string rec = "   0.000000D+00   0.150000D+09\n";
    CurveReader r(LineReader::from_text(head + rec + rec + "   0.100000D-05   0.2", "c"));
    double t;
    std::vector<double> v;
    int records = 0;
    while (r.next(t, v)) ++records;
    EXPECT_EQ(records, 2);
    EXPECT_EQ(r.cut_record(), 3);
    CurveReader whole(LineReader::from_text(head + rec + rec.substr(0, 30), "c"));
    records = 0;
    while (whole.next(t, v)) ++records;
    EXPECT_EQ(records, 2);
    EXPECT_EQ(whole.cut_record(), 0);
}

TEST(CurveFile, MalformedFilesAreRejected) {
    struct Case {
        const char* what;
        std::string text;
        const char* message;
    };
    const std::string head = "TITLE = \"t\"\nVARIABLES= \"Time\" \"seqv at     5\"\n\n";
    const Case cases[] = {
        {"unknown variable", "TITLE = \"t\"\nVARIABLES= \"Time\" \"temp at     5\"\n\n",
         "unknown result variable"},
        {"no Time column", "TITLE = \"t\"\nVARIABLES= \"seqv at     5\"\n\n", "\"Time\""},
        {"unbalanced quotes", "TITLE = \"t\"\nVARIABLES= \"Time\" \"seqv at     5\n\n",
         "unbalanced"},
        {"short record", head + "   0.000000D+00\n", "expected 30"},
        {"garbage value", head + "   0.000000D+00   0.15000xD+09\n", "malformed value"},
        {"bad time", head + "   zero           0.150000D+09\n", "malformed time"},
        {"no column record", "TITLE = \"t\"\n", "ends after its title"},
        {"NaN time", head + "            NaN   0.150000D+09\n",
         "c:4: the time \"NaN\" is not a finite number"},
        {"infinite value", head + "   0.000000D+00      -Infinity\n",
         "c:4: the value \"-Infinity\" of curve 1 is not a finite number"},
        {"cut record, then more", head + "   0.000000D+00   0.15\n   0.000000D+00   0.150000D+09\n",
         "expected 30"},
    };
    TempDir dir("curvbad");
    for (const Case& c : cases) {
        write_file(dir / "c", c.text);
        expect_rejected(
            [&] {
                CurveReader r(dir / "c");
                double t;
                std::vector<double> v;
                while (r.next(t, v)) {}
            },
            c.message, c.what);
    }
}
