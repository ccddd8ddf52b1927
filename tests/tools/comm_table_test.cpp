// The text of "Comm": the partition tool's writers against the solver's
// reader, the two layouts told apart, and the faults the reader reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "parallel/commtable.hpp"

namespace {

std::string read_fault(const std::string& text, int nprocs, int myid, commnodes::CommPart& t) {
    std::istringstream in(text);
    return commnodes::readcommpart(in, nprocs, myid, t);
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
    for (int p = 0; p < 3; ++p) {
        commnodes::CommPart t;
        ASSERT_EQ(read_fault(text, 3, p, t), "");
        EXPECT_FALSE(t.sparse);
        EXPECT_EQ(t.ncomde, 45);
        EXPECT_EQ(t.row, rows[static_cast<size_t>(p)]);
        ASSERT_EQ(t.line.size(), 45u);
        EXPECT_EQ(t.line[19], 2 + 3 * p);
        EXPECT_EQ(t.line[20], 3 + 3 * p);
        EXPECT_EQ(t.line[44], 4 + 3 * p);
    }
}

TEST(CommTable, NoSharedNodeIsTheCountAndEmptyRows) {
    EXPECT_EQ(commnodes::commtext(0, {{}}), "0\n\n");
    EXPECT_EQ(commnodes::commtext(0, {{}, {}}), "0\n\n\n");
    commnodes::CommPart t;
    ASSERT_EQ(read_fault("0\n", 4, 3, t), "");
    EXPECT_EQ(t.ncomde, 0);
    EXPECT_TRUE(t.row.empty());
    // A negative count would leave the processes uncoupled.
    EXPECT_EQ(read_fault("-2\n1 2 3\n", 2, 0, t), "line 1: slot count -2 is negative (0 or more)");
    // A count the file does not hold ends as a short table, without
    // allocating the announced rows.
    EXPECT_EQ(read_fault("2000000000\n1 2 3\n", 3, 1, t),
              "too short: row of process 0 has 3 of 2000000000 values");
}

TEST(CommTable, ReaderTakesListDirectedInput) {
    // Blank lines before the count, text after it, commas and tabs between
    // numbers, a row over lines, and the rest of a row's last line ignored.
    commnodes::CommPart t;
    ASSERT_EQ(read_fault("\n  3 slots\n1,2\n\t3 99 99\n0, 4 5\n", 2, 1, t), "");
    EXPECT_EQ(t.row, (std::vector<int>{0, 4, 5}));
    EXPECT_EQ(t.line, (std::vector<int>{5, 5, 5}));
}

TEST(CommTable, SparseSectionsReadBackPerProcess) {
    // Three processes in a row; 25 nodes between 0 and 1 wrap to a second line.
    std::vector<commnodes::Neighbours> n(3);
    n[0] = {{1}, {0, 25}, {}};
    for (int k = 1; k <= 25; ++k) n[0].node.push_back(2 * k);
    n[1] = {{0, 2}, {0, 25, 27}, {}};
    for (int k = 1; k <= 25; ++k) n[1].node.push_back(k);
    n[1].node.insert(n[1].node.end(), {30, 31});
    n[2] = {{1}, {0, 2}, {4, 3}};
    std::string text = commnodes::sparseheadtext(3);
    for (int p = 0; p < 3; ++p) text += commnodes::sparsesectiontext(p, n[static_cast<size_t>(p)]);
    EXPECT_EQ(text.substr(0, 50), "sparse 3\nprocess 0 neighbours 1\nwith 1 nodes 25\n2 ");
    for (int p = 0; p < 3; ++p) {
        commnodes::CommPart t;
        ASSERT_EQ(read_fault(text, 3, p, t), "") << p;
        EXPECT_TRUE(t.sparse);
        EXPECT_TRUE(t.row.empty());
        EXPECT_EQ(t.neighbours.proc, n[static_cast<size_t>(p)].proc);
        EXPECT_EQ(t.neighbours.start, n[static_cast<size_t>(p)].start);
        EXPECT_EQ(t.neighbours.node, n[static_cast<size_t>(p)].node);
        EXPECT_EQ(t.line.size(), t.neighbours.node.size());
    }
    commnodes::CommPart t;
    ASSERT_EQ(read_fault(text, 3, 2, t), "");
    EXPECT_EQ(t.line, (std::vector<int>{14, 14}));
    ASSERT_EQ(read_fault("sparse 1\nprocess 0 neighbours 0\n", 1, 0, t), "");
    EXPECT_TRUE(t.neighbours.proc.empty());
}

TEST(CommTable, FaultsNameTheLine) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "ends before the number of shared-node slots"},
        {"\n\n", "ends before the number of shared-node slots"},
        {"x\n", "line 1: \"x\" is not an integer"},
        {"2\n1 2\n3\n", "too short: row of process 1 has 1 of 2 values"},
        {"2\n1 2\n3 4.5\n", "line 3: \"4.5\" is not an integer"},
        {"\n99999999999\n", "line 2: \"99999999999\" is not an integer"},
        {"sparse\n", "line 1: expected \"sparse N\", found \"sparse\""},
        {"sparse 0\n", "line 1: process count 0 is outside the valid range 1..2147483647"},
        {"sparse 2\n", "ends before the section of process 0"},
        {"sparse 2\nprocess 1 neighbours 0\n",
         "line 2: section of process 1 where the section of process 0 belongs"},
        {"sparse 2\nprocess 0 neighbour 1\n",
         "line 2: expected \"process N neighbours N\", found \"process 0 neighbour 1\""},
        {"sparse 2\nprocess 0 neighbours 2\n",
         "line 2: neighbour count 2 is outside the valid range 0..1"},
        {"sparse 2\nprocess 0 neighbours 1\n",
         "ends in the section of process 0 after 0 of its 1 neighbours"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 2 nodes 1\n1\n",
         "line 3: neighbour 2 is outside the valid range 0..1"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 0 nodes 1\n1\n",
         "line 3: neighbour 0 is outside the valid range 0..1 without the process itself"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 0\n",
         "line 3: node count 0 is outside the valid range 1..2147483647"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 2\n1\n",
         "ends in the list of process 0 for neighbour 1 after 1 of 2 nodes"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 2\n1 2 3\n",
         "line 4: 3 values where the list of process 0 for neighbour 1 has 2 left"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 2\n1 0\n",
         "line 4: node 0 is outside the valid range 1..2147483647"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 3\n4\n5\n4\n",
         "line 6: node 4 appears twice in the list of process 0 for neighbour 1"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 1 nodes x\n", "line 3: \"x\" is not an integer"},
    };
    for (const auto& [text, fault] : cases) {
        commnodes::CommPart t;
        EXPECT_EQ(read_fault(text, 2, 0, t), fault) << text;
    }
    // Neighbours in increasing order (seen by process 2 of 3).
    commnodes::CommPart t;
    EXPECT_EQ(read_fault("sparse 3\nprocess 0 neighbours 0\nprocess 1 neighbours 0\n"
                         "process 2 neighbours 2\nwith 1 nodes 1\n1\nwith 0 nodes 1\n2\n",
                         3, 2, t),
              "line 7: neighbour 0 after neighbour 1 (neighbours go in increasing process number)");
}

// A table written for another number of processes stops the run with both
// counts, in either layout.
TEST(CommTable, ProcessCountMustMatchTheTable) {
    const std::string dense3 = commnodes::commtext(2, {{1, 2}, {3, 4}, {5, 6}});
    const std::pair<int, const char*> cases[] = {
        {2,
         "the table is for 3 processes, but the run has 2 (start it with 3 processes: "
         "mpiexec.mpich -n 3)"},
        {4,
         "the table is for 3 processes, but the run has 4 (start it with 3 processes: "
         "mpiexec.mpich -n 3)"},
        {1,
         "the table is for 3 processes, but the run has 1 (start it with 3 processes: "
         "mpiexec.mpich -n 3)"},
        {3, ""},
    };
    for (const auto& [run, fault] : cases) {
        commnodes::CommPart t;
        EXPECT_EQ(read_fault(dense3, run, 0, t), fault) << run;
    }
    commnodes::CommPart t;
    EXPECT_EQ(read_fault("2\n1 2\n3 4\n5\n", 2, 1, t),
              "1 value follows the rows of the 2 processes of the run (a row has 2): the table "
              "is for more processes than the run has");
    EXPECT_EQ(read_fault("sparse 1\nprocess 0 neighbours 0\n", 2, 1, t),
              "the table is for 1 process, but the run has 2 (start it with 1 process: "
              "mpiexec.mpich -n 1)");
    EXPECT_EQ(read_fault("sparse 16\n", 7, 0, t),
              "the table is for 16 processes, but the run has 7 (start it with 16 processes: "
              "mpiexec.mpich -n 16)");
}
