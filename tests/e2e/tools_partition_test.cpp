// hexdyn-partition as a program, and the agreement of a partitioned run
// with the run of the whole model on one process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

RunResult tool(const std::string& name, const std::string& args, const fs::path& dir) {
    return run_command(exe(name) + " " + args, dir, 120);
}

std::string deck_name(int p) {
    std::string name;
    for (int n = p + 1; n > 0; n = (n - 1) / 26)
        name.insert(name.begin(), static_cast<char>('a' + (n - 1) % 26));
    return name;
}

struct MapFile {
    int nprocs = 0, nodes = 0, elements = 0;
    std::vector<std::string> decks;
    std::vector<std::vector<int>> node_global, element_global;
};

MapFile read_map(const fs::path& file) {
    std::istringstream in(read_file(file));
    MapFile m;
    std::string w;
    in >> w;
    EXPECT_EQ(w, "hexdyn-map");
    int version = 0;
    in >> version >> w >> m.nprocs >> w >> m.nodes >> w >> m.elements;
    EXPECT_EQ(version, 1);
    for (int p = 0; p < m.nprocs; ++p) {
        int q = -1, n = 0, e = 0;
        std::string deck;
        in >> w >> q >> w >> deck >> w >> n >> w >> e;
        EXPECT_EQ(q, p);
        m.decks.push_back(deck);
        std::vector<int> ng(static_cast<size_t>(n)), eg(static_cast<size_t>(e));
        for (int& x : ng) in >> x;
        for (int& x : eg) in >> x;
        m.node_global.push_back(ng);
        m.element_global.push_back(eg);
    }
    EXPECT_TRUE(in.good() || in.eof());
    return m;
}

// Counts of the first "nbmp" and "nbel" of a deck.
std::pair<int, int> deck_sizes(const fs::path& deck) {
    int nodes = -1, elements = -1;
    for (const std::string& l : lines_of(read_file(deck))) {
        if (l.rfind("nbmp ", 0) == 0 && nodes < 0) nodes = std::atoi(l.c_str() + 5);
        if (l.rfind("nbel ", 0) == 0 && elements < 0) elements = std::atoi(l.c_str() + 5);
    }
    return {nodes, elements};
}

// One zone of an animation file: its time field and the coordinate fields
// of its nodes, as printed.
struct Zone {
    std::string time;
    std::vector<std::array<std::string, 3>> xyz;
};

std::vector<Zone> read_anim(const fs::path& file) {
    std::vector<Zone> zones;
    const auto ls = lines_of(read_file(file));
    for (size_t i = 0; i < ls.size(); ++i) {
        if (ls[i].rfind("ZONE", 0) != 0) continue;
        Zone z;
        z.time = ls[i].substr(14, 12);
        const size_t n =
            static_cast<size_t>(std::atoi(ls[i].substr(ls[i].find("N=") + 2, 5).c_str()));
        for (size_t k = 0; k < n; ++k) {
            const std::string& l = ls[i + 1 + k];
            z.xyz.push_back({l.substr(0, 12), l.substr(12, 12), l.substr(24, 12)});
        }
        zones.push_back(z);
    }
    return zones;
}

// Records of a curve file: every field of 15 columns as a number.
std::vector<std::vector<double>> read_curves(const fs::path& file) {
    std::vector<std::vector<double>> rows;
    const auto ls = lines_of(read_file(file));
    for (size_t i = 3; i < ls.size(); ++i) {
        std::vector<double> row;
        for (size_t p = 0; p + 15 <= ls[i].size(); p += 15) {
            std::string f = ls[i].substr(p, 15);
            std::replace(f.begin(), f.end(), 'D', 'E');
            row.push_back(std::strtod(f.c_str(), nullptr));
        }
        rows.push_back(row);
    }
    return rows;
}

// Two printed E12.4 values differ at most in their last digit.
bool last_digit_close(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const double x = std::strtod(a.c_str(), nullptr), y = std::strtod(b.c_str(), nullptr);
    const double big = std::max(std::fabs(x), std::fabs(y));
    const double unit = std::pow(10.0, std::floor(std::log10(big)) - 4);
    return std::fabs(x - y) <= 1.0001 * unit;
}

}  // namespace

TEST(ToolsPartition, BadInputIsRejectedWithAMessage) {
    TempDir dir("part-bad");
    ASSERT_EQ(
        tool(
            "hexdyn-mesh",
            "box --nx 2 --ny 1 --nz 1 --lx 2 --ly 1 --lz 1 --material \"elas 1 1 0.3\" --endtime 1",
            dir.path())
            .status,
        0);
    write_file(dir / "broken",
               "nbmp 8\nnbel 1\nnmat 1\nmate\n1 elas 1 1 0.3\npart\n1 0 0 0 zero\n");
    write_file(dir / "huge", "nbmp 500000000\nendi\n");
    struct Case {
        std::string args, expect;
    };
    const Case cases[] = {
        {"", "expected DECK and N"},
        {"a", "expected DECK and N"},
        {"missing 2 --dir out", "cannot open deck \"missing\""},
        {"a 3 --dir out", "cannot divide 2 elements among 3 processes"},
        {"a 0 --dir out", "N must be at least 1"},
        {"a -1 --dir out", "N must be at least 1"},
        {"a two --dir out", "N: \"two\" is not an integer"},
        {"a 2 --parts 4", "unknown option --parts"},
        {"a 2 --dir", "--dir needs a directory"},
        {"broken 1 --dir out",
         "broken:7: expected a real number for node coordinate, found \"zero\""},
        {"huge 2 --dir out",
         "hexdyn-partition: huge:1: node count 500000000 is more than the rest of the deck can "
         "hold (20 bytes from this line; a record takes at least 10)\n"},
        {"a 1", "would overwrite the input deck"},
        {"a 2 a b", "expected DECK and N"},
        {". 2 --dir out", "it is a directory"},
    };
    for (const Case& c : cases) {
        RunResult r = tool("hexdyn-partition", c.args, dir.path());
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.out.find("hexdyn-partition: "), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "out" / "a"));
    EXPECT_FALSE(fs::exists(dir / "Comm"));
}

namespace {

// Two unit cubes side by side along x, element 1 of set 1 (elastic unless
// `first` says otherwise), element 2 of a pla1 set 2; `extra` stands before
// "endi".
std::string two_material_deck(const std::string& extra,
                              const std::string& first = "elas 7800 2e11 0.3") {
    std::string d = "nbmp 12\nnbel 2\nnmat 2\nendt 1e-6\noutt 1e-6\ntime 2 0 1 1 1\nmate\n1 " +
                    first + "\n2 pla1 7800 2e11 0.3 3e8\npart\n";
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 3; ++i)
                d += std::to_string(1 + i + 3 * (j + 2 * k)) + " 0 " + std::to_string(i) + " " +
                     std::to_string(j) + " " + std::to_string(k) + "\n";
    d += "elem\n1 1 1 2 5 4 7 8 11 10\n2 2 2 3 6 5 8 9 12 11\n";
    return d + extra + "endi\n";
}

// The numbers of a message as N: each reader prints reals its own way.
std::string numbers_out(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const auto digit = [&](size_t k) {
            return k < text.size() && text[k] >= '0' && text[k] <= '9';
        };
        size_t k = i + (text[i] == '-' ? 1 : 0);
        if (!digit(k)) {
            out += text[i++];
            continue;
        }
        while (digit(k) || (k < text.size() && text[k] == '.')) ++k;
        if (k < text.size() && (text[k] == 'e' || text[k] == 'E')) {
            size_t x =
                k + 1 + (k + 1 < text.size() && (text[k + 1] == '+' || text[k + 1] == '-') ? 1 : 0);
            if (digit(x)) {
                while (digit(x)) ++x;
                k = x;
            }
        }
        out += 'N';
        i = k;
    }
    return out;
}

// The line and the message of a solver's input error; of a tool's.
std::pair<std::string, std::string> solver_fault(const std::string& out) {
    const std::string at = " input file error, line", error = " *** Error *** ";
    const size_t l = out.rfind(at), e = out.rfind(error);
    if (l == std::string::npos || e == std::string::npos) return {};
    const std::string line = out.substr(l + at.size(), out.find('\n', l) - l - at.size());
    return {line.substr(line.find_first_not_of(' ')),
            out.substr(e + error.size(), out.find('\n', e) - e - error.size())};
}

std::pair<std::string, std::string> tool_fault(const std::string& out, const std::string& deck) {
    const size_t at = out.find(": " + deck + ":");
    if (at == std::string::npos) return {};
    const size_t line = at + deck.size() + 3, colon = out.find(": ", line);
    return {out.substr(line, colon - line),
            out.substr(colon + 2, out.find('\n', colon) - colon - 2)};
}

}  // namespace

// A failure block the solver refuses, the partition tool refuses alike:
// the same text, naming the same deck line, before it writes anything; the
// checks against the materials and the "cons" switch wait for the whole
// deck. What the solver takes, the tool carries to every process deck.
TEST(ToolsPartition, RefusesTheFailureBlocksTheSolverRefuses) {
    const char* const refused[] = {
        "fail\njc 1 0.05 3.44 -2.12 0.002 0.61\nendf\n",
        "fail\nepsp 2 0.5\nendf\n",
        "fail\nepsp 2 0.5\nendf\ncorr on\ncons off\n",
        "cons on\nfail\nepsp 2 0.5\nspal 2 1e9\nepsp 2 0.4\nendf\n",
        "fail\nstep 0.1\nstep 0.1\nendf\n",
        "fail\njc 2 0.05 3.44 -2.12 -5 0.61\nendf\n",
        "fail\njc 2 0 0 -2.12 0.002 0.61\nendf\n",
        "fail\nprin 1 0\nendf\n",
        "fail\nshea 1 -0.1\nendf\n",
    };
    for (const char* extra : refused) {
        SCOPED_TRACE(extra);
        TempDir dir("part-fail");
        write_file(dir / "a", two_material_deck(extra));
        write_file(dir / "Comm", "0\n");
        const RunResult solver = run_hexdyn(dir.path(), 1, 60);
        EXPECT_NE(solver.status, 0) << solver.out;
        const RunResult part = tool("hexdyn-partition", "a 2 --dir out", dir.path());
        EXPECT_NE(part.status, 0) << part.out;
        const auto fault = solver_fault(solver.out);
        EXPECT_FALSE(fault.second.empty()) << solver.out;
        const auto told = tool_fault(part.out, "a");
        EXPECT_EQ(told.first, fault.first) << solver.out << "\n" << part.out;
        EXPECT_EQ(numbers_out(told.second), numbers_out(fault.second)) << solver.out << "\n"
                                                                       << part.out;
        EXPECT_FALSE(fs::exists(dir / "out" / "a"));
    }
    TempDir dir("part-fail-taken");
    write_file(dir / "a", two_material_deck("fail\nepsp 2 0.5\njc 1 0.05 0 0 0 0\nprin 1 0.3\n"
                                            "step 0.1\nshea 1 0.3\nendf\ncorr on\n",
                                            "john 7800 2e11 0.3 3e8 0 0 0"));
    const RunResult part = tool("hexdyn-partition", "a 2 --dir out", dir.path());
    ASSERT_EQ(part.status, 0) << part.out;
    for (const char* p : {"a", "b"})
        EXPECT_NE(read_file(dir / "out" / p)
                      .find("fail\nepsp 2 0.5\njc 1 0.05 0 0 0 0\nprin 1 0.3\nstep 0.1\n"
                            "shea 1 0.3\nendf\n"),
                  std::string::npos)
            << p;
    EXPECT_EQ(run_hexdyn(dir / "out", 2, 60).status, 0);
}

TEST(ToolsPartition, OneProcessGivesAnEmptyExchange) {
    TempDir dir("part-one");
    ASSERT_EQ(tool("hexdyn-mesh",
                   "box --nx 2 --ny 2 --nz 2 --lx 1 --ly 1 --lz 1 --material \"elas 1 1 0.3\" "
                   "--endtime 1 --fields off --energy off -o whole --title \"Taylor impact, OFHC\"",
                   dir.path())
                  .status,
              0);
    RunResult r = tool("hexdyn-partition", "whole 1", dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_file(dir / "Comm"), "sparse 1\nprocess 0 neighbours 0\n");
    // The single deck is the input deck again, title and all.
    EXPECT_EQ(read_file(dir / "a"), read_file(dir / "whole"));
    const MapFile m = read_map(dir / "hexdyn.map");
    EXPECT_EQ(m.nprocs, 1);
    EXPECT_EQ(m.node_global[0].size(), 27u);
    EXPECT_EQ(m.element_global[0], (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

// Partitioning again into fewer processes removes the decks of the earlier
// partition that its map records; a file named as a further deck that no map
// records is left, with a warning; the input deck is never touched.
TEST(ToolsPartition, RepartitioningLeavesNoStaleDeck) {
    TempDir dir("part-again");
    ASSERT_EQ(tool("hexdyn-mesh",
                   "box --nx 4 --ny 2 --nz 1 --lx 1 --ly 1 --lz 1 --material \"elas 1 1 0.3\" "
                   "--endtime 1 -o whole",
                   dir.path())
                  .status,
              0);
    struct Step {
        std::string args, before;  // before: a file written by hand first ("" none)
        std::vector<std::string> decks, gone;
        std::string message;
    };
    const Step steps[] = {
        {"whole 4 --dir run", "", {"a", "b", "c", "d"}, {}, "wrote run/{a..d, Comm, hexdyn.map}"},
        {"whole 2 --dir run",
         "",
         {"a", "b"},
         {"c", "d"},
         "removed c, d: the decks of the earlier partition into 4 processes"},
        {"whole 3 --dir run", "", {"a", "b", "c"}, {"d"}, "wrote run/{a..c, Comm, hexdyn.map}"},
        {"whole 1 --dir run", "", {"a"}, {"b", "c"}, "removed b, c: the decks of the earlier"},
        {"whole 1 --dir run",
         "b",
         {"a", "b"},
         {},
         "hexdyn-partition: warning: run holds b, named as further process decks but recorded in "
         "no hexdyn.map there: left as it is (the run reads only a..a); remove it if an earlier "
         "partition wrote it"},
    };
    for (const Step& st : steps) {
        if (!st.before.empty()) write_file(dir / "run" / st.before, "not a deck\n");
        const RunResult r = tool("hexdyn-partition", st.args, dir.path());
        ASSERT_EQ(r.status, 0) << st.args << "\n" << r.out;
        EXPECT_NE(r.out.find(st.message), std::string::npos) << st.args << "\n" << r.out;
        for (const std::string& d : st.decks)
            EXPECT_TRUE(fs::exists(dir / "run" / d)) << st.args << ": " << d << " missing";
        for (const std::string& d : st.gone)
            EXPECT_FALSE(fs::exists(dir / "run" / d)) << st.args << ": " << d << " left behind";
    }
    // The input deck named as a deck of the earlier partition stays.
    ASSERT_EQ(tool("hexdyn-partition", "whole 3 --dir run", dir.path()).status, 0);
    fs::copy_file(dir / "whole", dir / "run" / "whole");
    fs::rename(dir / "run" / "whole", dir / "run" / "c");
    const RunResult r = tool("hexdyn-partition", "c 2", dir / "run");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(dir / "run" / "c")) << r.out;
    EXPECT_EQ(r.out.find("removed"), std::string::npos) << r.out;
}

TEST(ToolsPartition, MetisDivisionIsBalancedAndComplete) {
    struct Case {
        std::string mesh;
        int nprocs;
    };
    const Case cases[] = {
        {"cylinder --radius 1 --length 3 --ncore 6 --nlayers 4 --nalong 12", 5},  // 1584 elements
        {"box --nx 12 --ny 10 --nz 9 --lx 1.2 --ly 1 --lz 0.9", 7},               // 1080 elements
        {"box --nx 4 --ny 3 --nz 3 --lx 4 --ly 3 --lz 3", 28},  // deck names past "z"
    };
    for (const Case& c : cases) {
        TempDir dir("part-metis");
        ASSERT_EQ(tool("hexdyn-mesh",
                       c.mesh + " --material \"elas 7800 2.1e11 0.3\" --endtime 1e-5 -o whole",
                       dir.path())
                      .status,
                  0);
        const auto [gn, ge] = deck_sizes(dir / "whole");
        RunResult r = tool("hexdyn-partition", "whole " + std::to_string(c.nprocs) + " --dir run",
                           dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        const MapFile mp = read_map(dir / "run" / "hexdyn.map");
        const MapFile& m = mp;
        ASSERT_EQ(m.nprocs, c.nprocs);
        EXPECT_EQ(m.nodes, gn);
        EXPECT_EQ(m.elements, ge);
        const double mean = static_cast<double>(ge) / c.nprocs;
        std::vector<int> element_seen(static_cast<size_t>(ge), 0),
            node_seen(static_cast<size_t>(gn), 0);
        for (int p = 0; p < c.nprocs; ++p) {
            EXPECT_EQ(m.decks[static_cast<size_t>(p)], deck_name(p));
            const auto [n, e] = deck_sizes(dir / "run" / deck_name(p));
            EXPECT_EQ(n, static_cast<int>(m.node_global[static_cast<size_t>(p)].size())) << p;
            EXPECT_EQ(e, static_cast<int>(m.element_global[static_cast<size_t>(p)].size())) << p;
            EXPECT_LE(e, std::max(std::ceil(mean), std::floor(1.03 * mean))) << "process " << p;
            EXPECT_GE(e, std::min(std::floor(mean), std::ceil(0.97 * mean))) << "process " << p;
            for (int x : m.element_global[static_cast<size_t>(p)])
                ++element_seen[static_cast<size_t>(x - 1)];
            for (int x : m.node_global[static_cast<size_t>(p)])
                ++node_seen[static_cast<size_t>(x - 1)];
        }
        for (int x : element_seen) EXPECT_EQ(x, 1);
        // Comm: per process and neighbour the nodes they share, the two lists
        // of a pair naming the same global nodes in the same order; every
        // node held by several processes is listed between all its holders.
        std::istringstream in(read_file(dir / "run" / "Comm"));
        std::string w;
        int count = -1;
        in >> w >> count;
        ASSERT_EQ(w, "sparse");
        ASSERT_EQ(count, c.nprocs);
        // lists[{p, q}]: global numbers of the nodes p lists for q
        std::map<std::pair<int, int>, std::vector<int>> lists;
        std::vector<std::set<int>> listed(static_cast<size_t>(gn));
        for (int p = 0; p < c.nprocs; ++p) {
            int q = -1, nn = -1, m = -1;
            in >> w >> q >> w >> nn;
            ASSERT_EQ(q, p);
            for (int i = 0; i < nn; ++i) {
                in >> w >> q >> w >> m;
                ASSERT_EQ(w, "nodes");
                auto& list = lists[{p, q}];
                for (int k = 0; k < m; ++k) {
                    int l = 0;
                    in >> l;
                    const int g =
                        mp.node_global[static_cast<size_t>(p)][static_cast<size_t>(l - 1)];
                    if (!list.empty()) { EXPECT_LT(list.back(), g); }
                    list.push_back(g);
                    listed[static_cast<size_t>(g - 1)].insert(p);
                }
            }
        }
        ASSERT_FALSE(in.fail());
        for (const auto& [pq, list] : lists) {
            const auto other = lists.find({pq.second, pq.first});
            ASSERT_NE(other, lists.end());
            EXPECT_EQ(other->second, list) << pq.first << " and " << pq.second;
        }
        for (int n = 0; n < gn; ++n) {
            const int holders = node_seen[static_cast<size_t>(n)];
            EXPECT_EQ(static_cast<int>(listed[static_cast<size_t>(n)].size()),
                      holders > 1 ? holders : 0)
                << "node " << n + 1;
        }
    }
}

// The same impact on 1, 2 and 3 processes: elastic-plastic box thrown
// against a rigid plane under loads, with loads on nodes shared between
// processes.
TEST(ToolsPartition, PartitionedRunsAgreeWithTheSerialRun) {
    TempDir dir("part-run");
    RunResult r = tool(
        "hexdyn-mesh",
        "box --nx 8 --ny 5 --nz 5 --lx 0.02 --ly 0.01 --lz 0.01 --origin 0,0,0.0001 "
        "--material \"pla2 7800 2.1e11 0.3 3e8 1e9\" --velocity 1,0,0,-100 --velocity 4,5,0,-100 "
        "--load 3,0,0,-2000 --load 5,-1000,0,0 --rigid 3,0 --time 0,0,5e-6,1,1,1 "
        "--endtime 2e-5 --outtime 2e-6 "
        "--curve seqv,3 --curve engk --curve engs --curve epef,200 --curve ener --comm",
        dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    RunResult s = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(s.status, 0) << s.out;
    const std::vector<Zone> serial_anim = read_anim(dir / "aresult_anim.dat");
    const auto serial_curves = read_curves(dir / "aresult_curv.dat");
    ASSERT_GE(serial_anim.size(), 5u);
    ASSERT_GE(serial_curves.size(), 5u);
    ASSERT_EQ(serial_curves[0].size(), 6u);  // time and five curves

    for (int np : {2, 3}) {
        SCOPED_TRACE(std::to_string(np) + " processes");
        const fs::path run = dir / ("run" + std::to_string(np));
        RunResult pr = tool("hexdyn-partition",
                            "a " + std::to_string(np) + " --dir " + run.string(), dir.path());
        ASSERT_EQ(pr.status, 0) << pr.out;
        RunResult pp = run_hexdyn(run, np, 300);
        ASSERT_EQ(pp.status, 0) << pp.out;
        const MapFile m = read_map(run / "hexdyn.map");

        // Positions: every copy of every node matches the serial run.
        std::vector<std::vector<Zone>> anim;
        for (int p = 0; p < np; ++p)
            anim.push_back(read_anim(run / (deck_name(p) + "result_anim.dat")));
        int compared = 0;
        for (int p = 0; p < np; ++p) {
            ASSERT_EQ(anim[static_cast<size_t>(p)].size(), serial_anim.size());
            for (size_t z = 0; z < serial_anim.size(); ++z) {
                const Zone& pz = anim[static_cast<size_t>(p)][z];
                EXPECT_EQ(pz.time, serial_anim[z].time);
                ASSERT_EQ(pz.xyz.size(), m.node_global[static_cast<size_t>(p)].size());
                for (size_t l = 0; l < pz.xyz.size(); ++l) {
                    const int g = m.node_global[static_cast<size_t>(p)][l];
                    for (int i = 0; i < 3; ++i) {
                        const std::string& a = pz.xyz[l][static_cast<size_t>(i)];
                        const std::string& b =
                            serial_anim[z].xyz[static_cast<size_t>(g - 1)][static_cast<size_t>(i)];
                        EXPECT_TRUE(last_digit_close(a, b))
                            << "zone " << z << " node " << g << " (process " << p << ") component "
                            << i << ": " << a << " vs serial " << b;
                        ++compared;
                    }
                }
            }
        }
        EXPECT_GT(compared, 0);

        // Curves: element curves on the process holding the element; the
        // strain energy, a sum over elements, adds up over the processes.
        std::vector<std::vector<std::vector<double>>> curves;
        for (int p = 0; p < np; ++p)
            curves.push_back(read_curves(run / (deck_name(p) + "result_curv.dat")));
        auto owner = [&](int element) {
            for (int p = 0; p < np; ++p) {
                const auto& eg = m.element_global[static_cast<size_t>(p)];
                if (std::find(eg.begin(), eg.end(), element) != eg.end()) return p;
            }
            return -1;
        };
        const int p3 = owner(3), p200 = owner(200);
        ASSERT_GE(p3, 0);
        ASSERT_GE(p200, 0);
        for (size_t k = 0; k < serial_curves.size(); ++k) {
            const auto& sr = serial_curves[k];
            // columns of a process: time, [seqv 3], engk, engs, [epef 200], ener
            auto column = [&](int p, const char* what) {
                const auto& row = curves[static_cast<size_t>(p)][k];
                int c = 1;
                if (p == p3) {
                    if (std::string(what) == "seqv") return row[1];
                    ++c;
                }
                if (std::string(what) == "engk") return row[static_cast<size_t>(c)];
                if (std::string(what) == "engs") return row[static_cast<size_t>(c) + 1];
                if (p == p200 && std::string(what) == "epef")
                    return row[static_cast<size_t>(c) + 2];
                return row[static_cast<size_t>(c) + 2 + (p == p200 ? 1 : 0)];  // ener
            };
            double engs = 0.0, engk = 0.0;
            for (int p = 0; p < np; ++p) {
                ASSERT_EQ(curves[static_cast<size_t>(p)].size(), serial_curves.size());
                EXPECT_EQ(curves[static_cast<size_t>(p)][k][0], sr[0]) << "time of record " << k;
                engs += column(p, "engs");
                engk += column(p, "engk");
                // three values, each rounded to six digits
                EXPECT_NEAR(column(p, "ener"), column(p, "engs") + column(p, "engk"),
                            1e-5 * std::fabs(column(p, "ener")) + 1e-300);
            }
            const double tol6 = 2e-6;
            EXPECT_NEAR(column(p3, "seqv"), sr[1], tol6 * std::fabs(sr[1]) + 1e-6)
                << "record " << k;
            EXPECT_NEAR(column(p200, "epef"), sr[4], tol6 * std::fabs(sr[4]) + 1e-12)
                << "record " << k;
            EXPECT_NEAR(engs, sr[3], (np + 1) * tol6 * std::fabs(sr[3]) + 1e-300) << "record " << k;
            // Each process counts the kinetic energy of all its nodes, shared
            // ones included, with full masses after the first step's mass
            // exchange: the sum over processes is exact on the first record
            // and at least the serial value later.
            if (k == 0) {
                EXPECT_NEAR(engk, sr[2], (np + 1) * tol6 * sr[2]) << "record 0";
            } else {
                EXPECT_GE(engk, sr[2] * (1.0 - (np + 1) * tol6)) << "record " << k;
            }
        }
    }
}

// The same impact divided among 1, 2, 7 and 16 processes (more processes
// than cores: the mesh is small and the run short) gives every copy of every
// node at every output time the position of the serial run, to the printed
// digits.
TEST(ToolsPartition, ScaledRunsAgreeWithTheSerialRun) {
    TempDir dir("part-scale");
    RunResult r = tool("hexdyn-mesh",
                       "box --nx 8 --ny 4 --nz 4 --lx 0.02 --ly 0.01 --lz 0.01 --origin 0,0,0.0001 "
                       "--material \"pla2 7800 2.1e11 0.3 3e8 1e9\" --velocity 1,0,0,-100 "
                       "--velocity 4,5,0,-100 --load 3,0,0,-2000 --rigid 3,0 "
                       "--time 0,0,5e-6,1,1,1 --endtime 6e-6 --outtime 1e-6 --curve engk -o whole",
                       dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<Zone> serial;
    for (int np : {1, 2, 7, 16}) {
        SCOPED_TRACE(std::to_string(np) + " processes");
        const fs::path run = dir / ("run" + std::to_string(np));
        RunResult pr = tool("hexdyn-partition",
                            "whole " + std::to_string(np) + " --dir " + run.string(), dir.path());
        ASSERT_EQ(pr.status, 0) << pr.out;
        RunResult pp = run_hexdyn(run, np, 300);
        ASSERT_EQ(pp.status, 0) << pp.out;
        // More processes than cores are slow: the run says so once.
        const unsigned cores = std::thread::hardware_concurrency();
        EXPECT_EQ(count_of(pp.out, " Warning: " + std::to_string(np) + " processes on "),
                  cores > 0 && static_cast<unsigned>(np) > cores ? 1u : 0u)
            << pp.out;
        if (np == 1) {
            serial = read_anim(run / "aresult_anim.dat");
            ASSERT_GE(serial.size(), 6u);
            continue;
        }
        const MapFile m = read_map(run / "hexdyn.map");
        int compared = 0;
        for (int p = 0; p < np; ++p) {
            const std::vector<Zone> anim = read_anim(run / (deck_name(p) + "result_anim.dat"));
            ASSERT_EQ(anim.size(), serial.size());
            for (size_t z = 0; z < serial.size(); ++z) {
                EXPECT_EQ(anim[z].time, serial[z].time);
                ASSERT_EQ(anim[z].xyz.size(), m.node_global[static_cast<size_t>(p)].size());
                for (size_t l = 0; l < anim[z].xyz.size(); ++l) {
                    const int g = m.node_global[static_cast<size_t>(p)][l];
                    for (size_t i = 0; i < 3; ++i) {
                        const std::string& a = anim[z].xyz[l][i];
                        const std::string& b = serial[z].xyz[static_cast<size_t>(g - 1)][i];
                        EXPECT_TRUE(last_digit_close(a, b))
                            << "zone " << z << " node " << g << ": " << a << " vs serial " << b;
                        ++compared;
                    }
                }
            }
        }
        EXPECT_GT(compared, 0);
    }
    // Decks made for 7 processes started with 2, and for 2 started with 3.
    const std::pair<int, int> wrong[] = {{7, 2}, {2, 3}};
    for (const auto& [made, started] : wrong) {
        RunResult w = run_hexdyn(dir / ("run" + std::to_string(made)), started, 120);
        EXPECT_NE(w.status, 0) << w.out;
        EXPECT_NE(w.out.find("*** Error *** file Comm: the table is for " + std::to_string(made) +
                             " processes, but the run has " + std::to_string(started)),
                  std::string::npos)
            << w.out;
        EXPECT_EQ(w.out.find("Step="), std::string::npos) << w.out;
    }
}
