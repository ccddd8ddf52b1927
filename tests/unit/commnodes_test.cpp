// The shared-node table, the deck names and the exchange on a single
// process (where every sum has one term).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "parallel/commnodes.hpp"
#include "testutil.hpp"

using namespace testutil;

namespace {

TEST(DeckName, LettersThenTwoLetterNames) {
    const std::pair<int, const char*> cases[] = {
        {0, "a"},   {1, "b"},   {2, "c"},    {25, "z"},    {26, "aa"},     {27, "ab"},
        {51, "az"}, {52, "ba"}, {701, "zz"}, {702, "aaa"}, {18277, "zzz"}, {18278, "aaaa"},
    };
    for (const auto& [id, name] : cases) EXPECT_EQ(commnodes::deckname(id), name) << id;
}

struct readoutcome {
    bool stopped;
    std::string out;
};

readoutcome readcomm(const std::string& text, int nprocs, int myid) {
    TempDir dir("comm");
    write_file(dir / "Comm", text);
    InDir in(dir.path());
    process::reset();
    commnodes::nprocs = nprocs;
    commnodes::myid = myid;
    readoutcome r{false, {}};
    testing::internal::CaptureStdout();
    try {
        commnodes::readcomnode();
    } catch (const errorstop::stop_exception&) { r.stopped = true; }
    std::fflush(stdout);
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

TEST(CommTable, RowsAreReadPerProcessAndTheOwnRowKept) {
    // Rows start on a new line, may run over several lines, and what follows
    // a row's last value on its line is ignored.
    const std::string text = "3 slots\n7 8 9 extra words\n1,2,\n3\n0 0 4 rest\n\n";
    const std::vector<int> rows[3] = {{7, 8, 9}, {1, 2, 3}, {0, 0, 4}};
    const std::vector<int> lines[3] = {{2, 2, 2}, {3, 3, 4}, {5, 5, 5}};
    for (int id = 0; id < 3; ++id) {
        SCOPED_TRACE(id);
        readoutcome r = readcomm(text, 3, id);
        ASSERT_FALSE(r.stopped) << r.out;
        EXPECT_EQ(commnodes::ncomde, 3);
        EXPECT_FALSE(commnodes::sparse);
        EXPECT_EQ(commnodes::mycnode, rows[id]);
        EXPECT_EQ(commnodes::commline, lines[id]);
        std::string name = commnodes::deckname(id);
        name.resize(100, ' ');
        EXPECT_EQ(ffi::fileinp, name);
    }
    process::reset();
}

TEST(CommTable, EmptyTablesAllocateNothing) {
    for (const char* text : {"0\n", "0"}) {
        SCOPED_TRACE(text);
        readoutcome r = readcomm(text, 2, 1);
        ASSERT_FALSE(r.stopped) << r.out;
        EXPECT_TRUE(commnodes::mycnode.empty());
        EXPECT_TRUE(commnodes::nbnode.empty());
        EXPECT_EQ(ffi::fileinp.substr(0, 2), "b ");
    }
    process::reset();
}

TEST(CommTable, MissingOrMalformedFileStops) {
    {
        process::reset();
        TempDir dir("nocomm");
        InDir in(dir.path());
        testing::internal::CaptureStdout();
        EXPECT_THROW(commnodes::readcomnode(), errorstop::stop_exception);
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  " Open file error!!!\n *** Error *** cannot open the shared-node table Comm: "
                  "No such file or directory\n");
    }
    const std::pair<const char*, const char*> bad[] = {
        {"", "ends before the number of shared-node slots"},
        {"\n  \n", "ends before the number of shared-node slots"},
        {"two\n", "line 1: \"two\" is not an integer"},
        {"2\n1 2\n3\n", "too short: row of process 1 has 1 of 2 values"},
        {"2\n1 99999999999\n3 4\n", "line 2: \"99999999999\" is not an integer"},
    };
    for (const auto& [text, what] : bad) {
        SCOPED_TRACE(text);
        readoutcome r = readcomm(text, 2, 0);
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(r.out, std::string(" *** Error *** file Comm: ") + what + "\n");
    }
    process::reset();
}

// Read, then checked against the node count of the deck: the message names
// the value, the valid range and the line of "Comm".
TEST(CommTable, OwnPartMustNameNodesOfTheDeck) {
    struct rangecase {
        const char* text;
        int nprocs, myid, nb;
        const char* message;  // empty: accepted
    };
    const rangecase cases[] = {
        {"3\n0 1 8\n", 1, 0, 8, ""},
        {"0\n", 1, 0, 0, ""},
        {"2\n0 0\n", 1, 0, 0, ""},
        {"2\n1\n9\n", 1, 0, 8,
         " *** Error *** file Comm: line 3: slot 2 of process 0 holds node 9, outside the valid "
         "range 0..8\n"},
        {"1\n5\n-1\n", 2, 1, 8,
         " *** Error *** file Comm: line 3: slot 1 of process 1 holds node -1, outside the valid "
         "range 0..8\n"},
        {"3\n4 0\n4\n", 1, 0, 8,
         " *** Error *** file Comm: line 3: node 4 of process 0 is in slots 1 and 3 (a node has "
         "one slot)\n"},
        {"sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 2\n1 8\n", 2, 0, 8, ""},
        {"sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 3\n1 2\n9\n", 2, 0, 8,
         " *** Error *** file Comm: line 5: node 9 of process 0 (shared with process 1) is "
         "outside the valid range 1..8\n"},
    };
    for (const rangecase& c : cases) {
        SCOPED_TRACE(c.text);
        readoutcome r = readcomm(c.text, c.nprocs, c.myid);
        ASSERT_FALSE(r.stopped) << r.out;
        particledata::nb_particle = c.nb;
        testing::internal::CaptureStdout();
        bool stopped = false;
        try {
            commnodes::checkcomnode();
        } catch (const errorstop::stop_exception&) { stopped = true; }
        std::fflush(stdout);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(stopped, *c.message != '\0') << out;
        EXPECT_EQ(out, c.message);
    }
    process::reset();
}

// The order of the sums of a sparse table: every shared node once, its own
// value placed among the neighbours' by process number.
TEST(CommTable, SparseSumsRunInProcessOrder) {
    const char* text =
        "sparse 4\n"
        "process 0 neighbours 1\nwith 2 nodes 1\n1\n"
        "process 1 neighbours 0\n"
        "process 2 neighbours 2\nwith 0 nodes 2\n5 2\nwith 3 nodes 2\n2 7\n";
    readoutcome r = readcomm(text, 4, 2);
    ASSERT_FALSE(r.stopped) << r.out;
    EXPECT_TRUE(commnodes::sparse);
    EXPECT_EQ(commnodes::nbproc, (std::vector<int>{0, 3}));
    EXPECT_EQ(commnodes::nbstart, (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(commnodes::nbnode, (std::vector<int>{5, 2, 2, 7}));
    EXPECT_EQ(commnodes::commline, (std::vector<int>{8, 8, 10, 10}));
    particledata::nb_particle = 7;
    commnodes::checkcomnode();
    EXPECT_EQ(commnodes::sumnode, (std::vector<int>{2, 5, 7}));
    EXPECT_EQ(commnodes::sumstart, (std::vector<int>{0, 3, 5, 7}));
    // node 2: process 0 (entry 1), itself, process 3 (entry 2)
    EXPECT_EQ(commnodes::sumterm, (std::vector<int>{1, -1, 2, 0, -1, -1, 3}));
    process::reset();
}

TEST(Exchange, SingleProcessSumsAreIdentitiesAndAbsentSlotsAreSkipped) {
    process::reset();
    particledata::nb_particle = 3;
    particledata::mp = {0.5, 0.25, 2.0};
    particledata::acc = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0};
    commnodes::ncomde = 3;
    commnodes::mycnode = {2, 0, 1};
    double dt = 0.125;
    commnodes::updateforce(1, dt);
    EXPECT_EQ(dt, 0.125);
    EXPECT_EQ(particledata::mp, (std::vector<double>{0.5, 0.25, 2.0}));
    EXPECT_EQ(particledata::acc,
              (std::vector<double>{1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0}));
    double sentinel = 1.0e6;
    commnodes::updateforce(2, sentinel);
    EXPECT_EQ(sentinel, 1.0e6);

    // No slots at all.
    commnodes::ncomde = 0;
    commnodes::mycnode.clear();
    commnodes::updateforce(1, dt);
    EXPECT_EQ(particledata::acc[8], 9.0);

    // A sparse table of one process: no neighbour, nothing changes.
    readoutcome r = readcomm("sparse 1\nprocess 0 neighbours 0\n", 1, 0);
    ASSERT_FALSE(r.stopped) << r.out;
    particledata::nb_particle = 3;
    particledata::mp = {0.5, 0.25, 2.0};
    particledata::acc = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0};
    commnodes::checkcomnode();
    commnodes::matchneighbours();
    commnodes::updateforce(1, dt);
    commnodes::updateforce(2, dt);
    EXPECT_EQ(particledata::mp, (std::vector<double>{0.5, 0.25, 2.0}));
    EXPECT_EQ(particledata::acc,
              (std::vector<double>{1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0}));
    process::reset();
}

}  // namespace
