// The curve file record by record (output/curve.cpp), the title of both
// result files, and the checks of the curve definitions against the elements.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "control/guard.hpp"
#include "control/process.hpp"
#include "input/datain.hpp"
#include "inputcases.hpp"
#include "model/curvevariables.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/anim.hpp"
#include "output/curve.hpp"
#include "output/units.hpp"
#include "outputcases.hpp"
#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;
using namespace outputcases;

namespace {

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
              "VARIABLES= \"Time\" \"seqv at     3\" \"epef at     3\" \"mat  at     3\" \"sm   at "
              "    3\""
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
        {"temp", 9, 1356.25, 1, "   0.135625D+04"},
        {"eint", 16, -4.5e3, 1, "  -0.450000D+04"},
    };
    for (const fieldcase& c : cases) {
        SCOPED_TRACE(c.name);
        process::reset();
        ASSERT_TRUE(ffi::unit(ffi::iow2).open((dir / "curv.dat").string()));
        setelements(2);
        history& h = historyof(2);
        h.seqv = h.epeff = h.sm = h.vol0 = h.temp = h.eint = c.value;
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

TEST_F(OutputFiles, NodeCurvesReadTheNodeFromItsDeckPosition) {
    // Two nodes; displacement curves measure from the origin kept by
    // checkcurves, velocity curves read the velocity as it is.
    particledata::nb_particle = 2;
    particledata::pos = {0.0, 0.0, 0.0, 1.0, 2.0, 3.0};
    particledata::vel = {0.0, 0.0, 0.0, -4.0, 0.5, 7.0};
    setcurves({{10, 2}, {11, 2}, {12, 2}, {13, 2}, {14, 2}, {15, 2}});
    checkcurves();
    particledata::pos = {9.0, 9.0, 9.0, 1.25, 1.5, 3.0};
    outcurve(0.0);
    const std::vector<std::string> c = curve();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[1],
              "VARIABLES= \"Time\" \"dx   at     2\" \"dy   at     2\" \"dz   at     2\" \"vx   at "
              "    2\" \"vy   at     2\" \"vz   at     2\"");
    EXPECT_EQ(c[3],
              "   0.000000D+00   0.250000D+00  -0.500000D+00   0.000000D+00  -0.400000D+01"
              "   0.500000D+00   0.700000D+01");
}

TEST_F(OutputFiles, GuardStopsOnANonFiniteValueOfEveryKind) {
    struct guardcase {
        int option;
        const char* message;
    };
    const guardcase cases[] = {
        {1, "*** Error *** step 7, process 0: curve 1 of element 2 is not finite ("},
        {9, "*** Error *** step 7, process 0: curve 1 of element 2 is not finite ("},
        {14, "*** Error *** step 7, process 0: curve 1 of node 2 is not finite ("},
        {7, "*** Error *** step 7, process 0: curve 1 (engs of the process) is not finite ("},
    };
    for (const guardcase& c : cases) {
        SCOPED_TRACE(c.option);
        setelements(2);
        particledata::nb_particle = 2;
        particledata::pos.assign(6, 0.0);
        particledata::vel.assign(6, 0.0);
        setcurves({{c.option, 2}});
        checkcurves();
        const double bad = std::numeric_limits<double>::quiet_NaN();
        historyof(2).seqv = historyof(2).temp = particledata::vel[4] = simulation::engstrain = bad;
        testing::internal::CaptureStdout();
        EXPECT_THROW(guard::checkoutput(7), errorstop::stop_exception);
        std::fflush(stdout);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        simulation::engstrain = 0.0;
    }
}

TEST_F(OutputFiles, InvalidVariableNumberStops) {
    setelements(1);
    std::string rec;
    testing::internal::CaptureStdout();
    setcurves({{curvevariables::count + 1, 1}, {0, 1}});
    EXPECT_THROW(putvariable(rec, 0), errorstop::stop_exception);
    EXPECT_THROW(putvariable(rec, 1), errorstop::stop_exception);
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              " ***Error*** Invalid output variable !\n ***Error*** Invalid output variable !\n");
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
// ---------------------------------------------------------------------------
// Curve definitions checked against the elements once the deck is read.

using inputcases::Outcome;

Outcome readdeck(const std::string& deck) { return inputcases::readdeck("curvecheck", deck); }

// One element; `curves` is placed from line 27 on.
std::string onebrick(const std::string& curves) {
    return "sovr one brick\nnbmp 8\nnbel 1\nnmat 1\n"  // lines 1-4
           "mate\n1 elas 1.0 256.0 0.0\npart\n"        // lines 5-7
           "1 0 0.0 0.0 0.0\n2 0 1.0 0.0 0.0\n3 0 1.0 1.0 0.0\n4 0 0.0 1.0 0.0\n"
           "5 0 0.0 0.0 1.0\n6 0 1.0 0.0 1.0\n7 0 1.0 1.0 1.0\n8 0 0.0 1.0 1.0\n"  // lines 8-15
           "elem\n1 1 1 2 3 4 5 6 7 8\n"                                           // lines 16-17
           "\n! curves\n\n\n\n\n\n\n\n" +                                          // lines 18-26
           curves +
           "endi\n";
}

TEST(CurveCheck, CurvesOutsideTheElementsOrNodesAreRejectedWithTheirLine) {
    struct rejectcase {
        const char* curves;
        int line;
        int curve;
        int element;
        int nb;
        const char* at = "element";
    };
    const rejectcase cases[] = {
        {"curv seqv 2\n", 27, 1, 2, 1},
        {"curv engk 5\ncurv epef 0\n", 28, 2, 0, 1},
        {"curv mat 1\ncurv mat -1\n", 28, 2, -1, 1},
        {"curv sm 1\ncurv vol 1\n\ncurv engs 7\ncurv sm 2\ncurv vol 3\n", 31, 4, 2, 1},
        {"CURVE VOL 1000\n", 27, 1, 1000, 1},
        {"curv temp 2\n", 27, 1, 2, 1},
        {"curv dx 8\ncurv vz 9\n", 28, 2, 9, 8, "node"},
        {"curv dy 0\n", 27, 1, 0, 8, "node"},
        {"curv seqv 1\ncurv vx\ncurv DZ -2\n", 29, 3, -2, 8, "node"},
    };
    for (const rejectcase& c : cases) {
        SCOPED_TRACE(c.curves);
        Outcome r = readdeck(onebrick(c.curves));
        EXPECT_TRUE(r.stopped);
        char line[64];
        std::snprintf(line, sizeof line, " input file error, line%12d\n", c.line);
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
        const std::string msg = "*** Error *** curve " + std::to_string(c.curve) + " names " +
                                c.at + " " + std::to_string(c.element) + ", outside 1.." +
                                std::to_string(c.nb);
        EXPECT_NE(r.out.find(msg), std::string::npos) << r.out;
    }
}

TEST(CurveCheck, DefaultElementOneNeedsAnElement) {
    Outcome r = readdeck("sovr no elements\nnbmp 1\npart\n1 0 0.0 0.0 0.0\ncurv seqv\nendi\n");
    EXPECT_TRUE(r.stopped);
    EXPECT_NE(r.out.find("input file error, line"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("names element 1, outside 1..0"), std::string::npos) << r.out;
}

TEST(CurveCheck, EnergyCurvesAndValidElementCurvesAreAccepted) {
    Outcome r =
        readdeck(onebrick("curv seqv\ncurv epef 1\ncurv mat 1\ncurv sm 1\ncurv vol 1\n"
                          "curv engk 0\ncurv engs 99\ncurv ener -4\ncurv temp 1\n"));
    EXPECT_FALSE(r.stopped) << r.out;
    Outcome n =
        readdeck("sovr no elements\nnbmp 1\npart\n1 0 0.0 0.0 0.0\ncurv engk\ncurv ener 3\nendi\n");
    EXPECT_FALSE(n.stopped) << n.out;
}

}  // namespace
