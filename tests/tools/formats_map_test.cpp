// The map file: its checked reader, and the round trip through its writer.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "formats/map.hpp"
#include "rejected.hpp"
#include "result_files.hpp"
#include "testutil.hpp"

using toolcases::expect_rejected;
using namespace formats;
using resultfiles::TwoCubes;
using testutil::TempDir;
using testutil::write_file;

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
        {m.map_text().substr(0, m.map_text().size() - 2) + "1\n",
         "global element 1 is given to process 0 and to process 1"},
        {edit("\n9\n", "\n13\n"), "global node number 13 is outside 1..12"},
        {edit("\n9\n", "\n10\n"), "lists global node 10 twice"},
        {edit("\n9\n", "\n1\n"), "global node 9 is held by no process"},
        {edit("nodes 12 elements 2", "nodes 12 elements 3"),
         "global element 3 belongs to no process"},
        {m.map_text() + "7\n", "unexpected \"7\""},
        {m.map_text().substr(0, m.map_text().size() - 2), "the file ends"},
        {edit("nodes 8 elements 1\n1\n", "nodes 8 elements 1\nx\n"), "is not an integer"},
        // Counts beyond what the file can list are refused before anything is sized.
        {"hexdyn-map 1\nnprocs 1 nodes 1000000000 elements 1\nproc 0 deck a nodes 1 elements 1\n",
         "m:2: the global node and element counts add up to 1000000001 exceed what the rest of "
         "the file holds (17 numbers at most)"},
        {edit("deck b nodes 8 elements 1\n", "deck b nodes 12 elements 2\n"),
         "m:13: the node and element counts of process 1 add up to 14 exceed what the rest of the "
         "file holds (11 numbers at most)"},
        {"hexdyn-map 1\nnprocs 1048576 nodes 0 elements 0\n", "the file ends where \"proc\""},
    };
    for (const auto& [text, message] : cases) {
        write_file(dir / "m", text);
        expect_rejected([&] { read_map(dir / "m"); }, message, message);
    }
}

TEST(MapFile, WriterAndReaderRoundTrip) {
    TempDir dir("maptrip");
    // Text to map and back: the writer gives the text the reader accepted.
    TwoCubes cubes;
    write_file(dir / "m", cubes.map_text());
    EXPECT_EQ(map_text(read_map(dir / "m")), cubes.map_text());

    // Map to text and back: three processes, a node held by all of them, a
    // process without elements, numbers out of order.
    Map m;
    m.nodes = 5;
    m.elements = 3;
    m.procs = {{0, "a", {5, 1, 3}, {2}}, {1, "b", {3, 2}, {}}, {2, "c", {4, 3}, {3, 1}}};
    write_file(dir / "m3", map_text(m));
    const Map r = read_map(dir / "m3");
    EXPECT_EQ(r.nodes, m.nodes);
    EXPECT_EQ(r.elements, m.elements);
    ASSERT_EQ(r.procs.size(), m.procs.size());
    for (size_t p = 0; p < m.procs.size(); ++p) {
        EXPECT_EQ(r.procs[p].id, m.procs[p].id);
        EXPECT_EQ(r.procs[p].deck, m.procs[p].deck);
        EXPECT_EQ(r.procs[p].node_global, m.procs[p].node_global);
        EXPECT_EQ(r.procs[p].element_global, m.procs[p].element_global);
    }
}
