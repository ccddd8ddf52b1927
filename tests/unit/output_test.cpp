// The curve and animation files, record by record, and the checks of the
// curve definitions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/anim.hpp"
#include "output/curve.hpp"
#include "output/units.hpp"
#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

void settitle(const std::string& t) {
    simulation::title.fill(' ');
    std::memcpy(simulation::title.data(), t.data(), t.size() < 256 ? t.size() : 256);
}

// A model of `ne` elements whose history records are handed out in reverse
// order (element e has record ne + 1 - e), so that a lookup by element number
// instead of by history index shows.
void setelements(int ne) {
    elementdata::nb_element = ne;
    elementdata::element_list.assign(static_cast<size_t>(ne), element{});
    materialdata::history_list.assign(static_cast<size_t>(ne), history{});
    for (int e = 1; e <= ne; ++e) {
        element& el = elementdata::element_list[static_cast<size_t>(e - 1)];
        el.mat = 1;
        el.nhistory = ne + 1 - e;
        for (int k = 0; k < 8; ++k) el.node[k] = k + 1;
    }
}

history& historyof(int e) {
    const element& el = elementdata::element_list[static_cast<size_t>(e - 1)];
    return materialdata::history_list[static_cast<size_t>(el.nhistory - 1)];
}

void setcurves(const std::vector<std::pair<int, int>>& curves) {
    dataout::ncurves = static_cast<int>(curves.size());
    for (size_t i = 0; i < curves.size(); ++i) {
        dataout::curveoption[i] = curves[i].first;
        dataout::curvepoint[i] = curves[i].second;
    }
}

// Opens the curve and animation units on files of a temporary directory.
class OutputFiles : public ::testing::Test {
protected:
    TempDir dir{"output"};
    void SetUp() override {
        process::reset();
        ASSERT_TRUE(ffi::unit(ffi::iow2).open((dir / "curv.dat").string()));
        ASSERT_TRUE(ffi::unit(ffi::iow1).open((dir / "anim.dat").string()));
    }
    void TearDown() override { process::reset(); }
    std::vector<std::string> curve() {
        ffi::unit(ffi::iow2).close();
        return lines_of(read_file(dir / "curv.dat"));
    }
    std::string animtext() {
        ffi::unit(ffi::iow1).close();
        return read_file(dir / "anim.dat");
    }
};

const std::string blanks60(60, ' ');

TEST_F(OutputFiles, CurveHeaderAndRecordsOfTwoElementCurves) {
    settitle("sovr curve example");
    setelements(12);
    historyof(5).seqv = 1.5e8;
    materialdata::history_list[4].seqv = -7.0;  // record 5 belongs to element 8
    elementdata::element_list[11].mat = 1;
    elementdata::element_list[0].mat = 2;  // record 12 is not element 12's
    setcurves({{1, 5}, {3, 12}});
    outcurve(0.0);
    historyof(5).seqv = -2.5e-4;
    outcurve(1.5);
    const std::vector<std::string> c = curve();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0], "TITLE = \"sovr curve example" + std::string(42, ' ') + "\"");
    EXPECT_EQ(c[0].size(), 70u);
    EXPECT_EQ(c[1], "VARIABLES= \"Time\" \"seqv at     5\" \"mat  at    12\"");
    EXPECT_EQ(c[2], "");
    EXPECT_EQ(c[3], "   0.000000D+00   0.150000D+09  1");
    EXPECT_EQ(c[4], "   0.150000D+01  -0.250000D-03  1");
    EXPECT_EQ(dataout::npts, 2);
}

TEST_F(OutputFiles, CurveFileWithoutCurvesHoldsTheTimeOnly) {
    settitle("t");
    outcurve(0.0);
    outcurve(2.5e-4);
    const std::vector<std::string> c = curve();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[1], "VARIABLES= \"Time\"");
    EXPECT_EQ(c[3], "   0.000000D+00");
    EXPECT_EQ(c[4], "   0.250000D-03");
}

TEST_F(OutputFiles, ColumnNamesKeepTheirTrailingBlanks) {
    setelements(3);
    setcurves({{1, 3}, {2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 0}, {7, 123456}, {8, 1234567}});
    simulation::engkinetic = 1.0;
    outcurve(0.0);
    const std::vector<std::string> c = curve();
    ASSERT_GE(c.size(), 2u);
    EXPECT_EQ(c[1],
              "VARIABLES= \"Time\" \"seqv at     3\" \"epef at     3\" \"mat  at     3\" \"sm   at     3\""
              " \"vol  at     3\" \"engk at     0\" \"engs at123456\" \"ener at******\"");
}

// One curve at a time: the value and its field.
struct fieldcase {
    const char* name;
    int option;
    double value;  // for the element's history record or the energies
    int mat;
    const char* field;
};

TEST_F(OutputFiles, EachVariableIsWrittenInItsField) {
    const fieldcase cases[] = {
        {"seqv 1.5", 1, 1.5, 1, "   0.150000D+01"},
        {"seqv 0", 1, 0.0, 1, "   0.000000D+00"},
        {"epef -2.5E-4", 2, -2.5e-4, 1, "  -0.250000D-03"},
        {"sm rounds to six digits", 4, 123456.75, 1, "   0.123457D+06"},
        {"sm rounding carries into the exponent", 4, -9999999.0, 1, "  -0.100000D+08"},
        {"sm three-digit exponent", 4, 1.5e100, 1, "   0.150000+101"},
        {"sm two-digit exponent at the edge", 4, 1.5e-100, 1, "   0.150000D-99"},
        {"sm negative three-digit exponent", 4, -1.5e-101, 1, "  -0.150000-100"},
        {"vol", 5, 0.125, 1, "   0.125000D+00"},
        {"mat 1", 3, 0.0, 1, "  1"},
        {"mat 999", 3, 0.0, 999, "999"},
        {"mat 1000 does not fit", 3, 0.0, 1000, "***"},
        {"mat -12", 3, 0.0, -12, "-12"},
        {"mat -100 does not fit", 3, 0.0, -100, "***"},
    };
    for (const fieldcase& c : cases) {
        SCOPED_TRACE(c.name);
        process::reset();
        ASSERT_TRUE(ffi::unit(ffi::iow2).open((dir / "curv.dat").string()));
        setelements(2);
        history& h = historyof(2);
        h.seqv = h.epeff = h.sm = h.vol0 = c.value;
        elementdata::element_list[1].mat = c.mat;
        setcurves({{c.option, 2}});
        outcurve(0.0);
        const std::vector<std::string> lines = curve();
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[3], std::string("   0.000000D+00") + c.field);
    }
}

TEST_F(OutputFiles, EnergyCurvesIgnoreTheirElement) {
    simulation::engkinetic = 2.5;
    simulation::engstrain = 0.5;
    // No elements at all: the element numbers are never looked at.
    setcurves({{6, 1}, {6, 99}, {7, -3}, {8, 0}});
    outcurve(0.0);
    simulation::engkinetic = 0.0;
    simulation::engstrain = 1.0e-3;
    outcurve(1.0);
    const std::vector<std::string> c = curve();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[3], "   0.000000D+00   0.250000D+01   0.250000D+01   0.500000D+00   0.300000D+01");
    EXPECT_EQ(c[4], "   0.100000D+01   0.000000D+00   0.000000D+00   0.100000D-02   0.100000D-02");
}

TEST_F(OutputFiles, InvalidVariableNumberStops) {
    setelements(1);
    std::string rec;
    testing::internal::CaptureStdout();
    EXPECT_THROW(putvariable(rec, 9, elementdata::element_list[0], historyof(1)), errorstop::stop_exception);
    EXPECT_THROW(putvariable(rec, 0, elementdata::element_list[0], historyof(1)), errorstop::stop_exception);
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, " ***Error*** Invalid output variable !\n ***Error*** Invalid output variable !\n");
}

// ---------------------------------------------------------------------------
// Animation file.

// Nodes of a unit cube, corner order.
void setcube() {
    particledata::nb_particle = 8;
    particledata::pos = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
    setelements(1);
}

TEST_F(OutputFiles, AnimationOfOneElement) {
    settitle("sovr one brick");
    setcube();
    outanim(0.0);
    particledata::pos[0] = -12.34;
    particledata::pos[1] = 1.5e-3;
    outanim(1.0e-3);
    const std::vector<std::string> a = lines_of(animtext());
    const std::string z = "  0.0000E+00", o = "  1.0000E+00";
    const std::vector<std::string> expect = {
        "TITLE = \"sovr one brick" + std::string(46, ' ') + "\"",
        "VARIABLES= \"X\"   \"Y\"   \"Z\"  ",
        "",
        "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN",
        z + z + z,
        o + z + z,
        o + o + z,
        z + o + z,
        z + z + o,
        o + z + o,
        o + o + o,
        z + o + o,
        "      1      2      3      4      5      6      7      8",
        "ZONE T=\"Time =  1.0000E-03\" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN D=(FECONNECT)",
        " -1.2340E+01  1.5000E-03" + z,
        o + z + z,
        o + o + z,
        z + o + z,
        z + z + o,
        o + z + o,
        o + o + o,
        z + o + o,
    };
    EXPECT_EQ(a, expect);
    EXPECT_EQ(a[1].size(), 28u);
    EXPECT_EQ(dataout::nres, 2);
}

TEST_F(OutputFiles, AnimationConnectivityIsTheStoredCornerOrder) {
    particledata::nb_particle = 12;
    particledata::pos.assign(36, 0.0);
    setelements(2);
    const int c1[8] = {4, 3, 2, 1, 8, 7, 6, 5};
    const int c2[8] = {2, 9, 10, 3, 6, 11, 12, 1234567};
    for (int k = 0; k < 8; ++k) {
        elementdata::element_list[0].node[k] = c1[k];
        elementdata::element_list[1].node[k] = c2[k];
    }
    outanim(0.0);
    outanim(0.5);
    const std::vector<std::string> a = lines_of(animtext());
    ASSERT_EQ(a.size(), 3u + 1 + 12 + 2 + 1 + 12);
    EXPECT_EQ(a[3], "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=   12 E=    2 ET=BRICK C=CYAN");
    EXPECT_EQ(a[16], "      4      3      2      1      8      7      6      5");
    EXPECT_EQ(a[17], "      2      9     10      3      6     11     121234567");
    EXPECT_EQ(a[18], "ZONE T=\"Time =  5.0000E-01\" F=FEPOINT N=   12 E=    2 ET=BRICK C=CYAN D=(FECONNECT)");
}

TEST_F(OutputFiles, AnimationOfAProcessWithoutElements) {
    particledata::nb_particle = 1;
    particledata::pos = {1.0e100, -1.0e100, 9.99996e99};
    outanim(0.0);
    outanim(2.0);
    const std::vector<std::string> a = lines_of(animtext());
    ASSERT_EQ(a.size(), 7u);
    EXPECT_EQ(a[3], "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=    1 E=    0 ET=BRICK C=CYAN");
    EXPECT_EQ(a[4], "  1.0000+100 -1.0000+100  1.0000+100");
    EXPECT_EQ(a[5], "ZONE T=\"Time =  2.0000E+00\" F=FEPOINT N=    1 E=    0 ET=BRICK C=CYAN D=(FECONNECT)");
}

TEST_F(OutputFiles, LargeCountsFillTheirFieldsWithAsterisks) {
    particledata::nb_particle = 100000;
    particledata::pos.assign(300000, 0.0);
    outanim(0.0);
    const std::string text = animtext();
    const std::vector<std::string> a = lines_of(text.substr(0, 400));
    EXPECT_EQ(a[3], "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=***** E=    0 ET=BRICK C=CYAN");
}

TEST_F(OutputFiles, TitleIsCutToSixtyCharacters) {
    std::string t = "sovr ";
    while (t.size() < 90) t += "0123456789";
    settitle(t);
    outcurve(0.0);
    outanim(0.0);
    const std::string head = "TITLE = \"" + t.substr(0, 60) + "\"";
    EXPECT_EQ(curve()[0], head);
    EXPECT_EQ(lines_of(animtext())[0], head);
}

TEST_F(OutputFiles, NoTitleGivesBlanksNeverNul) {
    // The title is all NUL characters until a "sovr" line is read.
    outcurve(0.0);
    outanim(0.0);
    ffi::unit(ffi::iow2).close();
    const std::string ctext = read_file(dir / "curv.dat");
    const std::string atext = animtext();
    EXPECT_EQ(ctext.find('\0'), std::string::npos);
    EXPECT_EQ(atext.find('\0'), std::string::npos);
    EXPECT_EQ(lines_of(ctext)[0], "TITLE = \"" + blanks60 + "\"");
    EXPECT_EQ(lines_of(atext)[0], "TITLE = \"" + blanks60 + "\"");
}

TEST_F(OutputFiles, FailedWriteStopsNamingTheFile) {
    ffi::textout& u = ffi::unit(ffi::iow1);
    ASSERT_TRUE(u.open("/dev/full"));
    setcube();
    outanim(0.0);
    testing::internal::CaptureStdout();
    EXPECT_THROW(u.close(), errorstop::stop_exception);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " *** Error *** writing file /dev/full failed\n");
    EXPECT_FALSE(u.is_open());
}

// ---------------------------------------------------------------------------
// Curve definitions checked against the elements once the deck is read.

struct deckoutcome {
    bool stopped;
    std::string out;
};

deckoutcome readdeck(const std::string& deck) {
    TempDir dir("curvecheck");
    write_file(dir / "Comm", "0\n\n");
    write_file(dir / "a", deck);
    InDir in(dir.path());
    process::reset();
    deckoutcome r{false, {}};
    testing::internal::CaptureStdout();
    try {
        datain::inputpara();
    } catch (const errorstop::stop_exception&) {
        r.stopped = true;
    }
    std::fflush(stdout);
    r.out = testing::internal::GetCapturedStdout();
    process::reset();
    return r;
}

// One element; `curves` is placed from line 27 on.
std::string onebrick(const std::string& curves) {
    return "sovr one brick\nnbmp 8\nnbel 1\nnmat 1\n"  // lines 1-4
           "mate\n1 elas 1.0 256.0 0.0\npart\n"        // lines 5-7
           "1 0 0.0 0.0 0.0\n2 0 1.0 0.0 0.0\n3 0 1.0 1.0 0.0\n4 0 0.0 1.0 0.0\n"
           "5 0 0.0 0.0 1.0\n6 0 1.0 0.0 1.0\n7 0 1.0 1.0 1.0\n8 0 0.0 1.0 1.0\n"  // lines 8-15
           "elem\n1 1 1 2 3 4 5 6 7 8\n"                                          // lines 16-17
           "\n! curves\n\n\n\n\n\n\n\n" +                                           // lines 18-26
           curves + "endi\n";
}

TEST(CurveCheck, ElementCurvesOutsideTheElementsAreRejectedWithTheirLine) {
    struct rejectcase {
        const char* curves;
        int line;
        int curve;
        int element;
        int nb;
    };
    const rejectcase cases[] = {
        {"curv seqv 2\n", 27, 1, 2, 1},
        {"curv engk 5\ncurv epef 0\n", 28, 2, 0, 1},
        {"curv mat 1\ncurv mat -1\n", 28, 2, -1, 1},
        {"curv sm 1\ncurv vol 1\n\ncurv engs 7\ncurv sm 2\ncurv vol 3\n", 31, 4, 2, 1},
        {"CURVE VOL 1000\n", 27, 1, 1000, 1},
    };
    for (const rejectcase& c : cases) {
        SCOPED_TRACE(c.curves);
        deckoutcome r = readdeck(onebrick(c.curves));
        EXPECT_TRUE(r.stopped);
        char line[64];
        std::snprintf(line, sizeof line, " input file error, line%12d\n", c.line);
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
        const std::string msg = "*** Error *** curve " + std::to_string(c.curve) + " names element " +
                                std::to_string(c.element) + ", outside 1.." + std::to_string(c.nb);
        EXPECT_NE(r.out.find(msg), std::string::npos) << r.out;
    }
}

TEST(CurveCheck, DefaultElementOneNeedsAnElement) {
    deckoutcome r = readdeck("sovr no elements\nnbmp 1\npart\n1 0 0.0 0.0 0.0\ncurv seqv\nendi\n");
    EXPECT_TRUE(r.stopped);
    EXPECT_NE(r.out.find("input file error, line"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("names element 1, outside 1..0"), std::string::npos) << r.out;
}

TEST(CurveCheck, EnergyCurvesAndValidElementCurvesAreAccepted) {
    deckoutcome r = readdeck(onebrick("curv seqv\ncurv epef 1\ncurv mat 1\ncurv sm 1\ncurv vol 1\n"
                                      "curv engk 0\ncurv engs 99\ncurv ener -4\n"));
    EXPECT_FALSE(r.stopped) << r.out;
    deckoutcome n = readdeck("sovr no elements\nnbmp 1\npart\n1 0 0.0 0.0 0.0\ncurv engk\ncurv ener 3\nendi\n");
    EXPECT_FALSE(n.stopped) << n.out;
}

}  // namespace
