// The text of "Comm": the partition tool's writer against the solver's
// reader, and the faults the reader reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "parallel/commtable.hpp"

namespace {

std::string read_fault(const std::string& text, int nprocs, commnodes::CommTable& t) {
    std::istringstream in(text);
    return commnodes::readcommtable(in, nprocs, t);
}

}  // namespace

TEST(CommTable, WrittenRowsReadBackAcrossWrappedLines) {
    // 45 slots: each row runs over three lines of 20, 20 and 5 numbers.
    std::vector<std::vector<int>> rows(3);
    for (int p = 0; p < 3; ++p)
        for (int j = 0; j < 45; ++j)
            rows[static_cast<size_t>(p)].push_back((j + p) % 4 == 0 ? 0 : 100 * p + j + 1);
    const std::string text = commnodes::commtext(45, rows);
    EXPECT_EQ(text.substr(0, 3), "45\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 3 * 3);
    commnodes::CommTable t;
    ASSERT_EQ(read_fault(text, 3, t), "");
    EXPECT_EQ(t.ncomde, 45);
    ASSERT_EQ(t.comnode.size(), 3u * 45u);
    for (int p = 0; p < 3; ++p)
        for (int j = 0; j < 45; ++j)
            EXPECT_EQ(t.comnode[static_cast<size_t>(45 * p + j)],
                      rows[static_cast<size_t>(p)][static_cast<size_t>(j)]);
}

TEST(CommTable, NoSharedNodeIsTheCountAndEmptyRows) {
    EXPECT_EQ(commnodes::commtext(0, {{}}), "0\n\n");
    EXPECT_EQ(commnodes::commtext(0, {{}, {}}), "0\n\n\n");
    commnodes::CommTable t;
    ASSERT_EQ(read_fault("0\n", 4, t), "");
    EXPECT_EQ(t.ncomde, 0);
    EXPECT_TRUE(t.comnode.empty());
    // A negative count means no slots as well.
    ASSERT_EQ(read_fault("-2\n", 2, t), "");
    EXPECT_EQ(t.ncomde, -2);
    EXPECT_TRUE(t.comnode.empty());
}

TEST(CommTable, ReaderTakesListDirectedInput) {
    // Blank lines before the count, text after it, commas and tabs between
    // numbers, a row over lines, and the rest of a row's last line ignored.
    commnodes::CommTable t;
    ASSERT_EQ(read_fault("\n  3 slots\n1,2\n\t3 99 99\n0, 4 5\n", 2, t), "");
    EXPECT_EQ(t.comnode, (std::vector<int>{1, 2, 3, 0, 4, 5}));
}

TEST(CommTable, FaultsNameTheLine) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "ends before the number of shared-node slots"},
        {"\n\n", "ends before the number of shared-node slots"},
        {"x\n", "line 1: \"x\" is not an integer"},
        {"2\n1 2\n3\n", "too short: row of process 1 has 1 of 2 values"},
        {"2\n1 2\n3 4.5\n", "line 3: \"4.5\" is not an integer"},
        {"\n99999999999\n", "line 2: \"99999999999\" is not an integer"},
    };
    for (const auto& [text, fault] : cases) {
        commnodes::CommTable t;
        EXPECT_EQ(read_fault(text, 2, t), fault) << text;
    }
}
