// Line reading of large files and the fixed-width number fields of the
// solver's records.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formats/lines.hpp"
#include "testutil.hpp"

using namespace formats;
using testutil::TempDir;
using testutil::write_file;

TEST(ResultNumbers, FortranRealFields) {
    struct Case {
        const char* text;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"  1.5000E-03", true, 1.5e-3},
        {" -1.2340E+01", true, -12.34},
        {"   0.150000D+09", true, 1.5e8},
        {"  -0.250000D-03", true, -2.5e-4},
        {"   0.000000D+00", true, 0.0},
        {"  1.0000+100", true, 1e100},
        {" -1.0000-100", true, -1e-100},
        {"   0.100000-100", true, 1e-101},
        {"   0.123456+123", true, 1.23456e122},
        {"+2.5", true, 2.5},
        {"***", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"1.0E", false, 0},
        {"1.0.0", false, 0},
        {"abc", false, 0},
        {"1.0 2.0", false, 0},
    };
    for (const Case& c : cases) {
        double v = -7.0;
        EXPECT_EQ(real_field(c.text, v), c.ok) << '"' << c.text << '"';
        if (c.ok) { EXPECT_DOUBLE_EQ(v, c.value) << '"' << c.text << '"'; }
    }
    double v = 0;
    ASSERT_TRUE(real_field("         NaN", v));
    EXPECT_TRUE(std::isnan(v));
    ASSERT_TRUE(real_field("   -Infinity", v));
    EXPECT_TRUE(std::isinf(v) && v < 0);
    ASSERT_TRUE(real_field("Infinity", v));
    EXPECT_TRUE(std::isinf(v) && v > 0);
}

TEST(ResultNumbers, IntegerFieldsAndOverflow) {
    long long v = 0;
    EXPECT_TRUE(int_field("      7", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(int_field(" -3", v));
    EXPECT_EQ(v, -3);
    EXPECT_FALSE(int_field("*****", v));
    EXPECT_FALSE(int_field("  1 2", v));
    EXPECT_FALSE(int_field("", v));
    EXPECT_TRUE(is_overflow("  *****"));
    EXPECT_FALSE(is_overflow("   "));
    EXPECT_FALSE(is_overflow("  *1"));
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
