// Formatted text fields (Iw, Aw, Ew.d, Dw.d), list-directed records and the
// progress line built from them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "control/integration.hpp"
#include "output/records.hpp"

namespace {

struct RealCase {
    double value;
    int w;
    int d;
    const char* expected;
};

class EField : public ::testing::TestWithParam<RealCase> {};
class DField : public ::testing::TestWithParam<RealCase> {};

TEST_P(EField, Layout) {
    const RealCase& c = GetParam();
    const std::string s = records::fmt_e(c.value, c.w, c.d);
    EXPECT_EQ(s, c.expected) << "value " << c.value << " in E" << c.w << "." << c.d;
    EXPECT_EQ(s.size(), static_cast<size_t>(c.w));
}

TEST_P(DField, Layout) {
    const RealCase& c = GetParam();
    const std::string s = records::fmt_d(c.value, c.w, c.d);
    EXPECT_EQ(s, c.expected) << "value " << c.value << " in D" << c.w << "." << c.d;
    EXPECT_EQ(s.size(), static_cast<size_t>(c.w));
}

INSTANTIATE_TEST_SUITE_P(
    Records, EField,
    ::testing::Values(
        RealCase{1.25e-7, 9, 3, "1.250E-07"}, RealCase{1.0e-3, 12, 4, "  1.0000E-03"},
        RealCase{0.0, 9, 3, "0.000E+00"}, RealCase{0.0, 10, 3, " 0.000E+00"},
        RealCase{2.0, 10, 3, " 2.000E+00"}, RealCase{-0.5, 10, 3, "-5.000E-01"},
        RealCase{6020.2, 12, 4, "  6.0202E+03"},
        // a negative value needs one column more; E9.3 has none to spare
        RealCase{-1.25e-7, 9, 3, "*********"}, RealCase{-1.25e-7, 10, 3, "-1.250E-07"},
        // three-digit exponents take the place of the letter
        RealCase{1.0e100, 12, 4, "  1.0000+100"}, RealCase{1.0e-100, 12, 4, "  1.0000-100"},
        RealCase{-2.5e-300, 10, 3, "-2.500-300"}, RealCase{1.0e99, 12, 4, "  1.0000E+99"},
        // rounding that carries into the exponent
        RealCase{9.99996, 12, 4, "  1.0000E+01"}, RealCase{9.99996e99, 12, 4, "  1.0000+100"},
        RealCase{9.99996e-100, 12, 4, "  1.0000E-99"}, RealCase{-9.9996, 10, 3, "-1.000E+01"},
        // rounded from the binary value: 1.2345 is stored as 1.23449999...
        RealCase{1.2345, 9, 3, "1.234E+00"}, RealCase{1.2346, 9, 3, "1.235E+00"},
        // smallest subnormal
        RealCase{4.9406564584124654e-324, 12, 4, "  4.9407-324"},
        // 17 significant digits, as in the list-directed records
        RealCase{0.1, 23, 16, " 1.0000000000000001E-01"}));

INSTANTIATE_TEST_SUITE_P(
    Records, DField,
    ::testing::Values(
        RealCase{1.5e8, 15, 6, "   0.150000D+09"}, RealCase{-2.5e-4, 15, 6, "  -0.250000D-03"},
        RealCase{0.0, 15, 6, "   0.000000D+00"}, RealCase{1.0, 15, 6, "   0.100000D+01"},
        RealCase{0.5, 15, 6, "   0.500000D+00"}, RealCase{1.0e-5, 15, 6, "   0.100000D-04"},
        RealCase{0.99999996, 15, 6, "   0.100000D+01"},
        RealCase{-999999.7, 15, 6, "  -0.100000D+07"}, RealCase{1.0e100, 15, 6, "   0.100000+101"},
        RealCase{1.0e-100, 15, 6, "   0.100000D-99"}, RealCase{1.0e-101, 15, 6, "   0.100000-100"},
        RealCase{1.0e98, 15, 6, "   0.100000D+99"}, RealCase{-1.0e99, 15, 6, "  -0.100000+100"},
        RealCase{1.0e-3, 15, 6, "   0.100000D-02"}, RealCase{123456.75, 15, 6, "   0.123457D+06"},
        // -0.100000D-04 needs 13 columns
        RealCase{-1.0e-5, 12, 6, "************"}));

TEST(Records, IntegerField) {
    struct Case {
        long long value;
        int w;
        const char* expected;
    };
    const Case cases[] = {
        {0, 1, "0"},
        {7, 3, "  7"},
        {123, 6, "   123"},
        {-12345, 6, "-12345"},
        {999999, 6, "999999"},
        {1000000, 6, "******"},
        {-123456, 6, "******"},
        {1000, 3, "***"},
        {-1, 1, "*"},
        {2147483647, 12, "  2147483647"},
        {-2147483648LL, 12, " -2147483648"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(records::fmt_i(c.value, c.w), c.expected) << c.value << " in I" << c.w;
}

TEST(Records, TextField) {
    struct Case {
        const char* text;
        int w;
        const char* expected;
    };
    const Case cases[] = {
        {"abcdef", 3, "abc"}, {"abc", 3, "abc"},       {"ab", 5, "   ab"},
        {"", 4, "    "},      {"a", 10, "         a"}, {"seqv at", 4, "seqv"},
    };
    for (const Case& c : cases) {
        std::string s = "<";
        records::put_a(s, c.text, c.w);
        EXPECT_EQ(s, std::string("<") + c.expected) << "\"" << c.text << "\" in A" << c.w;
    }
}

TEST(Records, FieldsAppendToTheRecord) {
    std::string s = "T=";
    records::put_e(s, 1.25e-7, 9, 3);
    records::put_i(s, 42, 4);
    records::put_d(s, -2.5e-4, 15, 6);
    EXPECT_EQ(s, "T=1.250E-07  42  -0.250000D-03");
}

// The columns of the result tables stay apart whatever the value: a negative
// value with a three-digit exponent fills the 17 places and gets a blank.
TEST(Records, TableColumnsNeverRunTogether) {
    std::string row;
    for (const double v : {0.0, -1.5e-3, 3.957537009e-98, -5.110012271e-103, 2.0e200})
        records::put_column(row, v);
    EXPECT_EQ(row,
              "  0.000000000E+00 -1.500000000E-03  3.957537009E-98 -5.110012271E-103"
              " 2.000000000E+200");
}

TEST(Records, ListedRecords) {
    EXPECT_EQ(records::listed("nb_particle = ", 8), " nb_particle =            8");
    EXPECT_EQ(records::listed("input file error, line", 12), " input file error, line          12");
    EXPECT_EQ(records::listed("required : ", -3), " required :           -3");
    EXPECT_EQ(records::listed("End of File!"), " End of File!");
    EXPECT_EQ(records::listed("EndTime = ", 1.0e-5), " EndTime =    1.0000000000000001E-05");
    EXPECT_EQ(records::listed("a", 1, "b", 2), " a           1b           2");
}

TEST(Records, NonFiniteValuesDoNotBreakTheField) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int w : {1, 2, 3, 4, 9, 10, 15}) {
        for (double v : {nan, -nan, inf, -inf}) {
            EXPECT_EQ(records::fmt_e(v, w, 3).size(), static_cast<size_t>(w)) << v << " w=" << w;
            EXPECT_EQ(records::fmt_d(v, w, 6).size(), static_cast<size_t>(w)) << v << " w=" << w;
        }
    }
    EXPECT_EQ(records::fmt_e(nan, 9, 3), "      NaN");
    EXPECT_EQ(records::fmt_e(inf, 9, 3), " Infinity");
    EXPECT_EQ(records::fmt_e(-inf, 9, 3), "-Infinity");
    EXPECT_EQ(records::fmt_d(-inf, 15, 6), "      -Infinity");
    EXPECT_EQ(records::fmt_e(-inf, 6, 3), "  -Inf");
    EXPECT_EQ(records::fmt_e(nan, 2, 3), "**");
    EXPECT_EQ(records::fmt_e(-inf, 3, 3), "***");
}

TEST(Records, ProgressLine) {
    EXPECT_EQ(progressline(1, 0.0, 1.25e-7, 1.0, 0.0),
              " Step=     1  T=0.000E+00  DT=1.250E-07  EDist=1.000E+00  K.E.=0.000E+00");
    EXPECT_EQ(progressline(123456, 9.99996e-4, 2.5e-8, 0.25, 1234.5678),
              " Step=123456  T=1.000E-03  DT=2.500E-08  EDist=2.500E-01  K.E.=1.235E+03");
    // a step number of seven digits and a negative value do not fit
    EXPECT_EQ(progressline(1234567, 1.0, 1.0, 1.0, -1.0),
              " Step=******  T=1.000E+00  DT=1.000E+00  EDist=1.000E+00  K.E.=*********");
    // a run that went bad still prints its line
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(progressline(2, 1.0e-6, nan, 1.0, std::numeric_limits<double>::infinity()),
              " Step=     2  T=1.000E-06  DT=      NaN  EDist=1.000E+00  K.E.= Infinity");
}

}  // namespace
