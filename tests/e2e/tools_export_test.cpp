// hexdyn-export on real solver output: a two-element model run on one
// process and split by hand over two processes must export to the same
// global mesh series.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../tools/xml_check.hpp"
#include "testutil.hpp"

using namespace testutil;

namespace {

const char* const kHead =
    "nmat 1\n"
    "ncom 1\n"
    "endt 2.0e-3\n"
    "outt 2.0e-4\n"
    "repo 1000\n"
    "dtsc 0.3\n"
    "time 2 0.0 1.0 1.0 1.0\n"
    "mate\n"
    "1 elas 7800.0 2.1e11 0.3\n";

// Two unit cubes along x sharing the face x = 1; the far face moves at 10 m/s.
std::string serial_deck() {
    return std::string("sovr two cubes\nnbmp 12\nnbel 2\n") + kHead +
           "part\n"
           "1 0 0.0 0.0 0.0\n2 0 1.0 0.0 0.0\n3 0 1.0 1.0 0.0\n4 0 0.0 1.0 0.0\n"
           "5 0 0.0 0.0 1.0\n6 0 1.0 0.0 1.0\n7 0 1.0 1.0 1.0\n8 0 0.0 1.0 1.0\n"
           "9 1 2.0 0.0 0.0\n10 1 2.0 1.0 0.0\n11 1 2.0 0.0 1.0\n12 1 2.0 1.0 1.0\n"
           "elem\n1 1 1 2 3 4 5 6 7 8\n2 1 2 9 10 3 6 11 12 7\n"
           "velo\ncomp 1 10.0 0.0 0.0\nendv\n"
           "curv seqv 1\ncurv seqv 2\ncurv engk\ncurv engs\ncurv mat 2\n"
           "endi\n";
}

// Process 0: cube 1 in global numbering.
std::string deck_a() {
    return std::string("sovr two cubes a\nnbmp 8\nnbel 1\n") + kHead +
           "part\n"
           "1 0 0.0 0.0 0.0\n2 0 1.0 0.0 0.0\n3 0 1.0 1.0 0.0\n4 0 0.0 1.0 0.0\n"
           "5 0 0.0 0.0 1.0\n6 0 1.0 0.0 1.0\n7 0 1.0 1.0 1.0\n8 0 0.0 1.0 1.0\n"
           "elem\n1 1 1 2 3 4 5 6 7 8\n"
           "curv seqv 1\ncurv engk\ncurv engs\n"
           "endi\n";
}

// Process 1: cube 2, local nodes 1..4 = global 9..12, 5..8 = global 2, 3, 6, 7.
std::string deck_b() {
    return std::string("sovr two cubes b\nnbmp 8\nnbel 1\n") + kHead +
           "part\n"
           "1 1 2.0 0.0 0.0\n2 1 2.0 1.0 0.0\n3 1 2.0 0.0 1.0\n4 1 2.0 1.0 1.0\n"
           "5 0 1.0 0.0 0.0\n6 0 1.0 1.0 0.0\n7 0 1.0 0.0 1.0\n8 0 1.0 1.0 1.0\n"
           "elem\n1 1 5 1 2 6 7 3 4 8\n"
           "velo\ncomp 1 10.0 0.0 0.0\nendv\n"
           "curv seqv 1\ncurv engk\ncurv engs\ncurv mat 1\n"
           "endi\n";
}

const char* const kMap =
    "hexdyn-map 1\n"
    "nprocs 2 nodes 12 elements 2\n"
    "proc 0 deck a nodes 8 elements 1\n1\n2\n3\n4\n5\n6\n7\n8\n1\n"
    "proc 1 deck b nodes 8 elements 1\n9\n10\n11\n12\n2\n3\n6\n7\n2\n";

std::string export_cmd(const std::string& args) { return exe("hexdyn-export") + " " + args; }

struct Csv {
    std::vector<std::string> names;
    std::vector<std::vector<double>> rows;
    std::vector<double> column(const std::string& n) const {
        for (size_t c = 0; c < names.size(); ++c)
            if (names[c] == n) {
                std::vector<double> v;
                for (const auto& r : rows) v.push_back(r[c]);
                return v;
            }
        ADD_FAILURE() << "no column " << n;
        return {};
    }
};

Csv read_csv(const fs::path& file) {
    std::istringstream in(read_file(file));
    Csv csv;
    std::string line;
    bool head = true;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ls(line);
        std::string x;
        while (std::getline(ls, x, ',')) f.push_back(x);
        if (head) {
            csv.names = f;
            head = false;
        } else {
            std::vector<double> r;
            for (const auto& s : f) r.push_back(std::stod(s));
            csv.rows.push_back(r);
        }
    }
    return csv;
}

struct Series {
    std::vector<double> times;
    std::vector<xmlcheck::Node> vtu;
};

Series read_series(const fs::path& pvd) {
    Series s;
    const xmlcheck::Node doc = xmlcheck::parse(read_file(pvd));
    EXPECT_EQ(doc.attr("type"), "Collection");
    for (const xmlcheck::Node* d : doc.child("Collection")->all("DataSet")) {
        s.times.push_back(std::stod(d->attr("timestep")));
        s.vtu.push_back(xmlcheck::parse(read_file(pvd.parent_path() / d->attr("file"))));
    }
    return s;
}

std::vector<double> array_of(const xmlcheck::Node& vtu, const std::string& section,
                             const std::string& name) {
    const xmlcheck::Node& piece = *vtu.child("UnstructuredGrid")->child("Piece");
    for (const xmlcheck::Node* d : piece.child(section)->all("DataArray"))
        if (d->attr("Name") == name) return xmlcheck::numbers(*d);
    ADD_FAILURE() << "no DataArray " << name;
    return {};
}

}  // namespace

TEST(ToolsExport, SerialAndTwoProcessRunsExportToTheSameGlobalSeries) {
    TempDir serial("export-serial");
    write_single_run(serial.path(), serial_deck());
    RunResult r = run_hexdyn(serial.path(), 1);
    ASSERT_EQ(r.status, 0) << r.out;

    TempDir par("export-par");
    write_file(par / "Comm", "4\n2 3 6 7\n5 6 7 8\n");
    write_file(par / "a", deck_a());
    write_file(par / "b", deck_b());
    write_file(par / "hexdyn.map", kMap);
    r = run_hexdyn(par.path(), 2);
    ASSERT_EQ(r.status, 0) << r.out;

    r = run_command(export_cmd("--ascii --dir ."), serial.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("1 process, 12 nodes, 2 elements"), std::string::npos) << r.out;
    fs::create_directory(par / "out");
    r = run_command(export_cmd("--ascii --dir " + par.path().string() + " --out out/series"),
                    par.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("2 processes (map), 12 nodes, 2 elements"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("no engk_total column"), std::string::npos) << r.out;

    const Series s1 = read_series(serial / "hexdyn.pvd");
    const Series s2 = read_series(par / "out" / "series.pvd");
    ASSERT_GE(s1.times.size(), 5u);
    ASSERT_EQ(s1.times, s2.times);

    const std::vector<double> conn = {0, 1, 2, 3, 4, 5, 6, 7, 1, 8, 9, 2, 5, 10, 11, 6};
    const std::vector<double> p1_first = array_of(s1.vtu[0], "Points", "Points");
    for (size_t z = 0; z < s1.times.size(); ++z) {
        for (const Series* s : {&s1, &s2}) {
            const xmlcheck::Node& piece = *s->vtu[z].child("UnstructuredGrid")->child("Piece");
            EXPECT_EQ(piece.attr("NumberOfPoints"), "12");
            EXPECT_EQ(piece.attr("NumberOfCells"), "2");
            EXPECT_EQ(array_of(s->vtu[z], "Cells", "connectivity"), conn);
            EXPECT_EQ(array_of(s->vtu[z], "Cells", "types"), (std::vector<double>{12, 12}));
        }
        EXPECT_EQ(array_of(s2.vtu[z], "CellData", "process"), (std::vector<double>{0, 1}));
        // The merged two-process mesh is the serial one, to the printed digits.
        const std::vector<double> p1 = array_of(s1.vtu[z], "Points", "Points");
        const std::vector<double> p2 = array_of(s2.vtu[z], "Points", "Points");
        const std::vector<double> d2 = array_of(s2.vtu[z], "PointData", "displacement");
        ASSERT_EQ(p1.size(), 36u);
        ASSERT_EQ(p2.size(), 36u);
        for (size_t i = 0; i < 36; ++i) {
            EXPECT_NEAR(p2[i], p1[i], 1.5e-4 * std::max(1.0, std::fabs(p1[i])))
                << "zone " << z << " value " << i;
            // Displacement: current minus first-zone position.
            EXPECT_NEAR(d2[i], p2[i] - p1_first[i], 1e-9) << "zone " << z << " value " << i;
        }
    }
    // The far face moves in +x.
    const std::vector<double> dlast = array_of(s2.vtu.back(), "PointData", "displacement");
    EXPECT_GT(dlast[3 * size_t{8}], 0.0);

    // Curves: the pvd times are the curve file's; the two runs agree.
    const Csv c1 = read_csv(serial / "hexdyn.csv");
    const Csv c2 = read_csv(par / "out" / "series.csv");
    EXPECT_EQ(c1.names,
              (std::vector<std::string>{"time", "seqv@elem1", "seqv@elem2", "engk", "engs",
                                        "mat@elem2", "engk_total", "engs_total"}));
    EXPECT_EQ(c2.names,
              (std::vector<std::string>{"time", "seqv@elem1", "p0:engk", "p0:engs", "seqv@elem2",
                                        "p1:engk", "p1:engs", "mat@elem2", "engs_total"}));
    EXPECT_EQ(c1.column("time"), s1.times);
    EXPECT_EQ(c2.column("time"), s2.times);
    const auto engs = c1.column("engs");
    const auto total = c2.column("engs_total");
    const auto a = c2.column("p0:engs");
    const auto b = c2.column("p1:engs");
    ASSERT_EQ(total.size(), engs.size());
    for (size_t k = 0; k < total.size(); ++k) {
        EXPECT_DOUBLE_EQ(total[k], a[k] + b[k]);
        EXPECT_NEAR(total[k], engs[k], 1e-5 * std::fabs(engs[k]) + 1e-9) << "record " << k;
    }
    const auto q1 = c1.column("seqv@elem2");
    const auto q2 = c2.column("seqv@elem2");
    for (size_t k = 0; k < q1.size(); ++k)
        EXPECT_NEAR(q2[k], q1[k], 1e-5 * std::fabs(q1[k]) + 1e-9);
    EXPECT_GT(q1.back(), 0.0);
}

TEST(ToolsExport, CommandLineAndErrors) {
    TempDir dir("export-cli");
    struct Case {
        std::string args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"--help", 0, "usage: hexdyn-export"},
        {"-h", 0, "--map FILE"},
        {"--frobnicate", 2, "unknown option --frobnicate"},
        {"stray", 2, "unexpected argument stray"},
        {"--dir", 2, "needs a value"},
        {"--out=", 2, "non-empty value"},
        {"--dir nowhere", 1, "result directory nowhere does not exist"},
        {"", 1, "no animation file"},
        {"--map missing.map", 1, "map file missing.map does not exist"},
    };
    for (const Case& c : cases) {
        const RunResult r = run_command(export_cmd(c.args), dir.path(), 30);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
    }
    // A malformed animation file: the message names file and line.
    write_file(dir / "aresult_anim.dat",
               "TITLE = \"x\"\nVARIABLES= \"X\"   \"Y\"   \"Z\"  \n\n"
               "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=    1 E=    0 ET=BRICK C=CYAN\n"
               "  1.0000E+00  0.0000E+00\n");
    const RunResult r = run_command(export_cmd(""), dir.path(), 30);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("aresult_anim.dat:5: malformed node record"), std::string::npos) << r.out;
}

// The whole chain: a generated mesh, split by the partition tool, run on two
// processes and merged back through the tool's map, equals the serial run.
TEST(ToolsExport, PartitionedRunMergesThroughThePartitionMap) {
    if (!fs::exists(exe("hexdyn-mesh")) || !fs::exists(exe("hexdyn-partition")))
        GTEST_SKIP() << "mesh and partition tools not built";
    TempDir dir("export-chain");
    RunResult r =
        run_command(exe("hexdyn-mesh") +
                        " box --nx 4 --ny 2 --nz 2 --lx 0.04 --ly 0.02 --lz 0.02 --endtime 2e-5"
                        " --outtime 2e-6 --material \"elas 7800 2.1e11 0.3\" --velocity 5,10,0,0"
                        " --curve seqv,16 --curve engs --dtscale 0.5 --comm -o a",
                    dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    r = run_command(exe("hexdyn-partition") + " a 2 --dir par", dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_EQ(run_hexdyn(dir.path(), 1).status, 0);
    ASSERT_EQ(run_hexdyn(dir / "par", 2).status, 0);
    r = run_command(export_cmd("--ascii") + " && " + export_cmd("--ascii --dir par"), dir.path());
    ASSERT_EQ(r.status, 0) << r.out;

    const Series s1 = read_series(dir / "hexdyn.pvd");
    const Series s2 = read_series(dir / "par" / "hexdyn.pvd");
    ASSERT_EQ(s1.times.size(), 10u);
    ASSERT_EQ(s1.times, s2.times);
    for (size_t z = 0; z < s1.times.size(); ++z) {
        const auto p1 = array_of(s1.vtu[z], "Points", "Points");
        const auto p2 = array_of(s2.vtu[z], "Points", "Points");
        ASSERT_EQ(p1.size(), 3u * 45u);
        ASSERT_EQ(p2.size(), p1.size());
        for (size_t i = 0; i < p1.size(); ++i)
            EXPECT_NEAR(p2[i], p1[i], 1.5e-4 * std::fabs(p1[i]) + 1e-12);
        EXPECT_EQ(array_of(s1.vtu[z], "Cells", "connectivity"),
                  array_of(s2.vtu[z], "Cells", "connectivity"));
    }
    const auto procs = array_of(s2.vtu[0], "CellData", "process");
    EXPECT_EQ(std::count(procs.begin(), procs.end(), 0.0), 8);
    EXPECT_EQ(std::count(procs.begin(), procs.end(), 1.0), 8);

    const Csv c1 = read_csv(dir / "hexdyn.csv");
    const Csv c2 = read_csv(dir / "par" / "hexdyn.csv");
    const auto q1 = c1.column("seqv@elem16");
    const auto q2 = c2.column("seqv@elem16");
    const auto e1 = c1.column("engs");
    const auto e2 = c2.column("engs_total");
    ASSERT_EQ(q2.size(), q1.size());
    for (size_t k = 0; k < q1.size(); ++k) {
        EXPECT_NEAR(q2[k], q1[k], 1e-5 * std::fabs(q1[k]));
        EXPECT_NEAR(e2[k], e1[k], 1e-5 * std::fabs(e1[k]) + 1e-12);
    }
    EXPECT_GT(q1.back(), 0.0);
}

// Result files of a real run, spoiled the ways a killed run or a damaged
// file spoils them: a cut last zone is exported up to the cut with a warning
// and exit status 0; every other fault ends with its file and line, exit
// status 1 and no collection, within seconds.
TEST(ToolsExport, KilledRunsAndDamagedFilesEndCleanly) {
    TempDir run("export-faults");
    write_single_run(run.path(), serial_deck());
    RunResult r = run_hexdyn(run.path(), 1);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string anim = read_file(run / "aresult_anim.dat");
    // Zone 1 (line 4) holds 12 node and 2 connectivity records, later zones 12 node records.
    std::vector<size_t> zone_at;
    for (size_t p = anim.find("ZONE"); p != std::string::npos; p = anim.find("ZONE", p + 1))
        zone_at.push_back(p);
    const int zones = static_cast<int>(zone_at.size());
    ASSERT_GE(zones, 3);
    const int last_line = 19 + 13 * (zones - 2);
    std::string nan_time = anim;
    nan_time.replace(zone_at[2] + 14, 12, "         NaN");
    std::string huge = anim;
    huge.replace(huge.find("N=   12"), 7, "N= 4000000000000000000");
    struct Case {
        const char* what;
        std::string anim, map;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"last zone cut inside a node record", anim.substr(0, anim.find('\n', zone_at.back()) + 20),
         "", 0,
         "hexdyn-export: warning: ./aresult_anim.dat:" + std::to_string(last_line + 1) +
             ": the file ends inside zone " + std::to_string(zones) +
             " (cut off while it was written?): zones 1.." + std::to_string(zones - 1) +
             " are exported"},
        {"first zone cut", anim.substr(0, anim.find('\n', anim.find("ZONE")) + 20), "", 1,
         "hexdyn-export: error: ./aresult_anim.dat:5: malformed node record"},
        {"NaN zone time", nan_time, "", 1,
         "hexdyn-export: error: ./aresult_anim.dat:32: the time \"NaN\" of zone 3 is not a finite "
         "number"},
        {"zone count overflowing 3*n", huge, "", 1,
         "./aresult_anim.dat:4: zone 1 announces 4000000000000000000 nodes and 2 elements, more "
         "records than the rest of the file"},
        {"three-line map announcing 10^9 nodes", anim,
         "hexdyn-map 1\nnprocs 1 nodes 1000000000 elements 2\nproc 0 deck a nodes 12 elements 2\n",
         1,
         "./hexdyn.map:2: the global node and element counts add up to 1000000002 exceed what the "
         "rest of the file holds (17 numbers at most)"},
    };
    for (const Case& c : cases) {
        write_file(run / "aresult_anim.dat", c.anim);
        fs::remove(run / "hexdyn.map");
        if (!c.map.empty()) write_file(run / "hexdyn.map", c.map);
        fs::remove(run / "hexdyn.pvd");
        r = run_command(export_cmd("--dir ."), run.path(), 10);
        EXPECT_FALSE(r.timed_out) << c.what;
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.what << "\n" << r.out;
        EXPECT_EQ(fs::exists(run / "hexdyn.pvd"), c.status == 0) << c.what;
        if (c.status == 0) {
            EXPECT_NE(r.out.find(std::to_string(zones - 1) + " output times"), std::string::npos)
                << r.out;
        }
    }
}
