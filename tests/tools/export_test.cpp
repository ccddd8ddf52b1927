// Merging the result files over the processes and exporting them: the
// columns of the CSV, the VTK XML series and the failures that leave no
// collection behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "export/curves.hpp"
#include "export/export.hpp"
#include "rejected.hpp"
#include "result_files.hpp"
#include "testutil.hpp"
#include "vtu_check.hpp"
#include "xml_check.hpp"

using toolcases::expect_rejected;
using namespace exporting;
using namespace resultfiles;
using formats::CurveColumn;
using formats::Error;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

TEST(CurveLayout, NamesAndTotalsDependOnNumberingAndSharing) {
    const std::vector<long long> glob_a = {37}, glob_b = {5, 6}, nodes_b = {10, 11, 12};
    auto procs = [&](bool with_map) {
        std::vector<ProcessCurves> p(2);
        p[0].id = 0;
        p[0].columns = {
            {"seqv", 1, false, false}, {"engk", 1, false, true}, {"engs", 1, false, true}};
        p[0].elements = 1;
        p[1].id = 1;
        p[1].columns = {{"seqv", 2, false, false}, {"mat", 2, true, false},
                        {"engk", 1, false, true},  {"engs", 1, false, true},
                        {"seqv", 2, false, false}, {"vz", 2, false, false, true}};
        p[1].elements = 2;
        p[1].nodes = 3;
        if (with_map) {
            p[0].element_global = &glob_a;
            p[1].element_global = &glob_b;
            p[1].node_global = &nodes_b;
        }
        return p;
    };
    struct Case {
        bool map;
        bool additive;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {true,
         true,
         {"time", "seqv@elem37", "p0:engk", "p0:engs", "seqv@elem6", "mat@elem6", "p1:engk",
          "p1:engs", "seqv@elem6#2", "vz@node11", "engk_total", "engs_total"}},
        {true,
         false,
         {"time", "seqv@elem37", "p0:engk", "p0:engs", "seqv@elem6", "mat@elem6", "p1:engk",
          "p1:engs", "seqv@elem6#2", "vz@node11", "engs_total"}},
        {false,
         false,
         {"time", "p0:seqv@1", "p0:engk", "p0:engs", "p1:seqv@2", "p1:mat@2", "p1:engk", "p1:engs",
          "p1:seqv@2#2", "p1:vz@n2", "engs_total"}},
    };
    for (const Case& c : cases) {
        const CurveLayout lay = curve_layout(procs(c.map), false, c.additive);
        EXPECT_EQ(lay.names, c.names);
        ASSERT_FALSE(lay.totals.empty());
        EXPECT_EQ(lay.totals.back().column_of_process, (std::vector<size_t>{2, 3}));
        EXPECT_EQ(lay.notes.size(), c.additive ? 0u : 1u);
    }

    // A process without the energy curve: no total, and a note saying why.
    auto p = procs(true);
    p[1].columns.erase(p[1].columns.begin() + 3);
    CurveLayout lay = curve_layout(p, false, true);
    EXPECT_EQ(lay.names.back(), "engk_total");
    ASSERT_EQ(lay.notes.size(), 1u);
    EXPECT_NE(lay.notes[0].find("no engs curve"), std::string::npos);

    // One process in its own numbering, which is the global one.
    std::vector<ProcessCurves> one(1);
    one[0].columns = {{"seqv", 3, false, false}, {"ener", 1, false, true}};
    one[0].elements = 3;
    EXPECT_EQ(curve_layout(one, true, true).names,
              (std::vector<std::string>{"time", "seqv@elem3", "ener", "ener_total"}));

    // A curve on an element or a node the process does not have.
    one[0].elements = 2;
    EXPECT_THROW(curve_layout(one, true, true), Error);
    one[0].elements = 3;
    one[0].nodes = 8;
    one[0].columns = {{"dx", 8, false, false, true}};
    EXPECT_EQ(curve_layout(one, true, true).names, (std::vector<std::string>{"time", "dx@node8"}));
    one[0].columns[0].element = 9;
    EXPECT_THROW(curve_layout(one, true, true), Error);
}

// ------------------------------------------------------------------- export

TEST(Export, MergesTwoProcessesIntoTheGlobalMeshSeries) {
    TempDir dir("export");
    TwoCubes m;
    m.write(dir.path());
    ExportOptions opt;
    opt.dir = dir.path();
    const ExportReport rep = run_export(opt);
    EXPECT_TRUE(rep.used_map);
    EXPECT_EQ(rep.processes, 2);
    EXPECT_EQ(rep.nodes, 12);
    EXPECT_EQ(rep.elements, 2);
    EXPECT_EQ(rep.zones, 3);
    EXPECT_TRUE(rep.precise_times);
    ASSERT_EQ(rep.vtu.size(), 3u);

    // Collection: one data set per output time, with the 6-digit curve times.
    const xmlcheck::Node pvd = xmlcheck::parse(read_file(dir / "hexdyn.pvd"));
    const auto sets = pvd.child("Collection")->all("DataSet");
    ASSERT_EQ(sets.size(), 3u);
    for (size_t z = 0; z < 3; ++z) {
        EXPECT_DOUBLE_EQ(std::stod(sets[z]->attr("timestep")), m.times[z]);
        EXPECT_EQ(sets[z]->attr("file"), "hexdyn_vtu/" + rep.vtu[z].filename().string());
    }

    for (size_t z = 0; z < 3; ++z) {
        const xmlcheck::Node vtu = vtucheck::parse(read_file(rep.vtu[z]));
        ASSERT_EQ(vtu.attr("type"), "UnstructuredGrid");
        const xmlcheck::Node& piece = *vtu.child("UnstructuredGrid")->child("Piece");
        EXPECT_EQ(piece.attr("NumberOfPoints"), "12");
        EXPECT_EQ(piece.attr("NumberOfCells"), "2");
        const auto pts = xmlcheck::numbers(data_array(*piece.child("Points"), "Points"));
        const auto disp = xmlcheck::numbers(data_array(*piece.child("PointData"), "displacement"));
        const auto ids = xmlcheck::numbers(data_array(*piece.child("PointData"), "node"));
        ASSERT_EQ(pts.size(), 36u);
        ASSERT_EQ(disp.size(), 36u);
        for (int g = 1; g <= 12; ++g) {
            EXPECT_EQ(ids[static_cast<size_t>(g - 1)], g);
            const auto p = m.at(g, z);
            const auto p0 = m.at(g, 0);
            for (size_t c = 0; c < 3; ++c) {
                const size_t i = static_cast<size_t>(3 * (g - 1)) + c;
                EXPECT_NEAR(pts[i], p[c], 1e-4) << "zone " << z << " node " << g;
                EXPECT_NEAR(disp[i], p[c] - p0[c], 2e-4) << "zone " << z << " node " << g;
                if (z == 0) { EXPECT_EQ(disp[i], 0.0); }
            }
        }
        const xmlcheck::Node& cells = *piece.child("Cells");
        EXPECT_EQ(xmlcheck::numbers(data_array(cells, "connectivity")),
                  (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 1, 8, 9, 2, 5, 10, 11, 6}));
        EXPECT_EQ(xmlcheck::numbers(data_array(cells, "offsets")), (std::vector<double>{8, 16}));
        EXPECT_EQ(xmlcheck::numbers(data_array(cells, "types")), (std::vector<double>{12, 12}));
        EXPECT_EQ(xmlcheck::numbers(data_array(*piece.child("CellData"), "process")),
                  (std::vector<double>{0, 1}));
        EXPECT_EQ(xmlcheck::numbers(data_array(*piece.child("CellData"), "element")),
                  (std::vector<double>{1, 2}));
    }

    // CSV: curves of both processes under global element numbers; the strain
    // energy summed; no kinetic total, since the processes share 4 nodes.
    const std::string csv = read_file(dir / "hexdyn.csv");
    EXPECT_EQ(csv_row(csv, 0),
              (std::vector<std::string>{"time", "seqv@elem1", "p0:engk", "p0:engs", "seqv@elem2",
                                        "p1:engk", "p1:engs", "engs_total"}));
    const auto r2 = csv_row(csv, 3);
    ASSERT_EQ(r2.size(), 8u);
    EXPECT_DOUBLE_EQ(std::stod(r2[0]), 2.46912e-4);
    EXPECT_DOUBLE_EQ(std::stod(r2[1]), 3e8);
    EXPECT_DOUBLE_EQ(std::stod(r2[4]), 6e8);
    EXPECT_EQ(r2[7], "15");  // 5 + 10, written without binary noise
    EXPECT_EQ(rep.curve_records, 3);
    bool noted = false;
    for (const std::string& n : rep.notes)
        noted = noted || n.find("no engk_total") != std::string::npos;
    EXPECT_TRUE(noted);
}

TEST(Export, KineticTotalsWhenNoNodeIsSharedAndSingleProcessWithoutMap) {
    TempDir dir("export2");
    // Two separate cubes: process b's nodes are its own (global 9..16).
    TwoCubes m;
    m.global.resize(16);
    for (int k = 0; k < 8; ++k)
        m.global[8 + static_cast<size_t>(k)] = {m.global[static_cast<size_t>(k)][0] + 5.0,
                                                m.global[static_cast<size_t>(k)][1],
                                                m.global[static_cast<size_t>(k)][2]};
    m.local_b = {9, 10, 11, 12, 13, 14, 15, 16};
    m.write(dir.path());
    std::string map = m.map_text();
    map.replace(map.find("nodes 12"), 8, "nodes 16");
    write_file(dir / "hexdyn.map", map);
    ExportOptions opt;
    opt.dir = dir.path();
    opt.out = dir / "series";
    const ExportReport rep = run_export(opt);
    EXPECT_EQ(rep.nodes, 16);
    const std::string csv = read_file(dir / "series.csv");
    const auto head = csv_row(csv, 0);
    ASSERT_EQ(head.size(), 9u);
    EXPECT_EQ(head[7], "engk_total");
    EXPECT_EQ(head[8], "engs_total");
    EXPECT_EQ(csv_row(csv, 2)[7], "302");  // (100 + 1) + (200 + 1)
    EXPECT_TRUE(testutil::fs::exists(dir / "series.pvd"));
    EXPECT_TRUE(testutil::fs::exists(dir / "series_vtu" / "series_0002.vtu"));

    // Process "a" alone, without a map: its numbering is the global one.
    TempDir one("export1");
    write_file(one / "aresult_anim.dat", anim_text(m.zones(m.local_a), {{1, 2, 3, 4, 5, 6, 7, 8}}));
    write_file(one / "aresult_curv.dat", curve_text({{"seqv", 1}, {"ener", 1}}, m.records(1.0)));
    opt.dir = one.path();
    opt.out.clear();
    const ExportReport r1 = run_export(opt);
    EXPECT_FALSE(r1.used_map);
    EXPECT_EQ(r1.nodes, 8);
    EXPECT_EQ(csv_row(read_file(one / "hexdyn.csv"), 0),
              (std::vector<std::string>{"time", "seqv@elem1", "ener", "ener_total"}));
}

// The text files carry the values of the binary ones: points exactly,
// displacements to the 7 digits the text gives them.
TEST(Export, AsciiOptionWritesTheBinaryFilesValuesAsText) {
    TempDir dir("export-ascii");
    TwoCubes m;
    m.write(dir.path());
    ExportOptions opt;
    opt.dir = dir.path();
    const ExportReport bin = run_export(opt);
    opt.out = dir / "text";
    opt.ascii = true;
    const ExportReport txt = run_export(opt);
    ASSERT_EQ(bin.vtu.size(), txt.vtu.size());
    for (size_t z = 0; z < bin.vtu.size(); ++z) {
        const std::string b = read_file(bin.vtu[z]);
        const std::string t = read_file(txt.vtu[z]);
        EXPECT_NE(b.find("compressor=\"vtkZLibDataCompressor\""), std::string::npos);
        EXPECT_EQ(b.find("format=\"ascii\">\n"), std::string::npos);
        EXPECT_EQ(t.find("format=\"appended\""), std::string::npos);
        // Warp By Vector must not pick the displacement in the binary files.
        EXPECT_EQ(b.find("Vectors="), std::string::npos);
        const xmlcheck::Node vb = vtucheck::parse(b);
        const xmlcheck::Node vt = xmlcheck::parse(t);
        const xmlcheck::Node& pb = *vb.child("UnstructuredGrid")->child("Piece");
        const xmlcheck::Node& pt = *vt.child("UnstructuredGrid")->child("Piece");
        for (const char* section : {"PointData", "CellData", "Points", "Cells"}) {
            const auto arrays = pt.child(section)->all("DataArray");
            ASSERT_EQ(pb.child(section)->all("DataArray").size(), arrays.size()) << section;
            for (const xmlcheck::Node* a : arrays) {
                const std::string name = a->attr("Name");
                const auto vbin = xmlcheck::numbers(data_array(*pb.child(section), name));
                const auto vtxt = xmlcheck::numbers(*a);
                ASSERT_EQ(vbin.size(), vtxt.size()) << name;
                for (size_t i = 0; i < vtxt.size(); ++i) {
                    if (name == "displacement")
                        EXPECT_NEAR(vbin[i], vtxt[i], 1e-6 * std::fabs(vtxt[i]) + 1e-12) << i;
                    else
                        EXPECT_EQ(vbin[i], vtxt[i]) << name << " " << i;
                }
            }
        }
    }
}

// The run's energy balance gives the totals of the CSV, also where the
// processes share nodes; a balance of another run is noted, not merged.
TEST(Export, EnergyBalanceGivesTheTotalsOfTheCsv) {
    TempDir dir("export-energy");
    TwoCubes m;
    m.write(dir.path());
    std::string balance =
        "#            time          kinetic         internal        hourglass"
        "    external_work       plane_work            total     energy_error\n";
    const double kinetic[] = {20.0, 15.5, 12.25};
    for (size_t z = 0; z < 3; ++z) {
        char line[200];
        std::snprintf(line, sizeof line, "%17.9E%17.9E%17.9E%17.9E%17.9E%17.9E%17.9E%17.9E\n",
                      m.times[z], kinetic[z], 20.0 - kinetic[z], 0.0, 0.0, 0.0, 20.0, 0.0);
        balance += line;
    }
    balance +=
        "  3.000000000E-04  1.000000000E+01  1.000000000E+01  0.000000000E+00"
        "  0.000000000E+00  0.000000000E+00  2.000000000E+01  0.000000000E+00\n";
    write_file(dir / "energy.dat", balance);
    ExportOptions opt;
    opt.dir = dir.path();
    ExportReport rep = run_export(opt);
    std::string csv = read_file(dir / "hexdyn.csv");
    EXPECT_EQ(csv_row(csv, 0), (std::vector<std::string>{
                                   "time", "seqv@elem1", "p0:engk", "p0:engs", "seqv@elem2",
                                   "p1:engk", "p1:engs", "engk_total", "engs_total", "hourglass",
                                   "external_work", "plane_work", "ener_total", "energy_error"}));
    for (size_t z = 0; z < 3; ++z) {
        const auto row = csv_row(csv, z + 1);
        ASSERT_EQ(row.size(), 14u);
        EXPECT_EQ(std::stod(row[7]), kinetic[z]);
        EXPECT_EQ(std::stod(row[12]), 20.0);
    }
    for (const std::string& n : rep.notes)
        EXPECT_EQ(n.find("_total column"), std::string::npos) << n;

    // A balance whose second record is at another time.
    const size_t second = balance.find('\n', balance.find('\n') + 1) + 1;
    balance.replace(second, 17, "  9.000000000E-05");
    write_file(dir / "energy.dat", balance);
    rep = run_export(opt);
    csv = read_file(dir / "hexdyn.csv");
    EXPECT_EQ(std::stod(csv_row(csv, 1)[7]), kinetic[0]);
    EXPECT_EQ(csv_row(csv, 2)[7], "");
    bool noted = false;
    for (const std::string& n : rep.notes)
        noted = noted || n.find("energy.dat has no record at time") != std::string::npos;
    EXPECT_TRUE(noted);
}

TEST(Export, WithoutMapSeveralProcessesAreExportedSideBySide) {
    TempDir dir("export3");
    TwoCubes m;
    m.write(dir.path());
    testutil::fs::remove(dir / "hexdyn.map");
    ExportOptions opt;
    opt.dir = dir.path();
    const ExportReport rep = run_export(opt);
    EXPECT_EQ(rep.nodes, 16);
    EXPECT_EQ(rep.elements, 2);
    const xmlcheck::Node vtu = vtucheck::parse(read_file(rep.vtu[0]));
    const xmlcheck::Node& piece = *vtu.child("UnstructuredGrid")->child("Piece");
    EXPECT_EQ(xmlcheck::numbers(data_array(*piece.child("Cells"), "connectivity")),
              (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 12, 8, 9, 13, 14, 10, 11, 15}));
    EXPECT_EQ(csv_row(read_file(dir / "hexdyn.csv"), 0),
              (std::vector<std::string>{"time", "p0:seqv@1", "p0:engk", "p0:engs", "p1:seqv@1",
                                        "p1:engk", "p1:engs", "engs_total"}));
}

// A run killed while writing: b's last zone and a's last curve record are
// cut off. The zones and records every process wrote whole are exported,
// with a warning naming the file and the cut zone or record.
TEST(Export, RunKilledWhileWritingExportsWhatWasWrittenWhole) {
    TwoCubes m;
    TempDir dir("export-cut");
    m.write(dir.path());
    const std::string b = read_file(dir / "bresult_anim.dat");
    write_file(dir / "bresult_anim.dat",
               b.substr(0, b.rfind("ZONE") + 90));  // inside a node record
    const std::string c = read_file(dir / "aresult_curv.dat");
    write_file(dir / "aresult_curv.dat", c.substr(0, c.size() - 20));
    ExportOptions opt;
    opt.dir = dir.path();
    const ExportReport rep = run_export(opt);
    EXPECT_EQ(rep.zones, 2);
    EXPECT_EQ(rep.vtu.size(), 2u);
    EXPECT_EQ(rep.curve_records, 2);
    ASSERT_EQ(rep.warnings.size(), 4u);
    const std::string a_anim = (dir / "aresult_anim.dat").string();
    const std::string b_anim = (dir / "bresult_anim.dat").string();
    const std::string b_curv = (dir / "bresult_curv.dat").string();
    EXPECT_EQ(rep.warnings[0], (dir / "aresult_curv.dat").string() +
                                   ":6: the file ends inside record 3 (cut off while it was "
                                   "written?): records 1..2 are exported");
    EXPECT_EQ(rep.warnings[1], "record 3 and later of " + b_curv +
                                   " are left out: they were not written whole by every process");
    EXPECT_EQ(rep.warnings[2], b_anim +
                                   ":24: the file ends inside zone 3 (cut off while it was "
                                   "written?): zones 1..2 are exported");
    EXPECT_EQ(rep.warnings[3], "zone 3 and later of " + a_anim +
                                   " are left out: they were not written whole by every process");
    EXPECT_EQ(
        xmlcheck::parse(read_file(dir / "hexdyn.pvd")).child("Collection")->all("DataSet").size(),
        2u);
}

TEST(Export, InconsistentOrMissingInputFailsWithoutLeavingACollection) {
    TwoCubes m;
    struct Case {
        const char* what;
        std::function<void(const testutil::fs::path&)> spoil;
        const char* message;
    };
    auto edit = [](const testutil::fs::path& f, const std::string& a, const std::string& b) {
        std::string s = read_file(f);
        const size_t p = s.rfind(a);
        ASSERT_NE(p, std::string::npos) << a;
        s.replace(p, a.size(), b);
        write_file(f, s);
    };
    const Case cases[] = {
        {"missing animation file",
         [](const auto& d) { testutil::fs::remove(d / "bresult_anim.dat"); },
         "missing animation file"},
        {"missing curve file", [](const auto& d) { testutil::fs::remove(d / "bresult_curv.dat"); },
         "missing curve file"},
        {"fewer zones in b",
         [&](const auto& d) {
             std::string s = read_file(d / "bresult_anim.dat");
             write_file(d / "bresult_anim.dat", s.substr(0, s.rfind("ZONE")));
         },
         "inconsistent zone counts"},
        {"zone time differs",
         [&](const auto& d) { edit(d / "bresult_anim.dat", " 2.4691E-04", " 2.4692E-04"); },
         "did not run in lockstep"},
        {"fewer curve records in a",
         [&](const auto& d) {
             std::string s = read_file(d / "aresult_curv.dat");
             s.pop_back();
             write_file(d / "aresult_curv.dat", s.substr(0, s.rfind('\n') + 1));
         },
         "same number of records"},
        {"curve time differs",
         [&](const auto& d) { edit(d / "bresult_curv.dat", "0.246912D-03", "0.246913D-03"); },
         "did not run in lockstep"},
        {"map swaps a shared and an own node of b",
         [&](const auto& d) {
             std::string s = m.map_text();
             s.replace(s.find("\n12\n2\n"), 6, "\n2\n12\n");
             write_file(d / "hexdyn.map", s);
         },
         "the map does not match the result files"},
        {"b holds a node more than the map gives it",
         [&](const auto& d) {
             std::vector<int> more = m.local_b;
             more.push_back(9);
             write_file(d / "bresult_anim.dat",
                        anim_text(m.zones(more), {{5, 1, 2, 6, 7, 3, 4, 8}}));
         },
         "the map gives process 1 8 nodes"},
        {"curve on a missing element",
         [&](const auto& d) { edit(d / "bresult_curv.dat", "seqv at     1", "seqv at     2"); },
         "names element 2"},
        {"malformed node record",
         [&](const auto& d) { edit(d / "bresult_anim.dat", "  2.0000E+00", "  2.0000E+0x"); },
         "bresult_anim.dat:"},
        // Nothing that is not a finite number reaches the .pvd or the CSV.
        {"infinite curve value",
         [&](const auto& d) { edit(d / "aresult_curv.dat", "   0.300000D+09", "       Infinity"); },
         "aresult_curv.dat:6: the value \"Infinity\" of curve 1 is not a finite number"},
        {"NaN in the energy balance",
         [&](const auto& d) {
             write_file(d / "energy.dat", "# time kinetic\n 0.0 1.0\n 1.0E-4 nan\n");
         },
         "energy.dat:3: \"nan\" is not a finite number"},
    };
    for (const Case& c : cases) {
        TempDir dir("exportbad");
        m.write(dir.path());
        ExportOptions opt;
        opt.dir = dir.path();
        run_export(opt);  // a first, good export leaves a collection behind
        ASSERT_TRUE(testutil::fs::exists(dir / "hexdyn.pvd"));
        c.spoil(dir.path());
        expect_rejected([&] { run_export(opt); }, c.message, c.what);
        EXPECT_FALSE(testutil::fs::exists(dir / "hexdyn.pvd")) << c.what;
    }

    TempDir dir("exportopt");
    m.write(dir.path());
    ExportOptions opt;
    opt.dir = dir.path();
    opt.map = dir / "other.map";
    EXPECT_THROW(run_export(opt), Error);
    opt.map.clear();
    opt.out = dir / "no" / "such" / "prefix";
    EXPECT_THROW(run_export(opt), Error);
    opt.out.clear();
    opt.dir = dir / "nowhere";
    EXPECT_THROW(run_export(opt), Error);
    TempDir empty("exportempty");
    opt.dir = empty.path();
    EXPECT_THROW(run_export(opt), Error);
}

// Where the files go: the collection and the table in the run's folder (or
// the one --out names), the series in a folder of its own beside them, and
// nothing of an earlier, longer series left in it.
TEST(Export, SeriesInAFolderOfItsOwn) {
    TempDir dir("export-folder");
    TwoCubes m;
    m.write(dir.path());
    namespace fs = testutil::fs;
    struct Case {
        const char* out;
        const char* pvd;
        const char* folder;
    };
    const Case cases[] = {
        {"", "hexdyn.pvd", "hexdyn_vtu"},
        {"impact", "impact.pvd", "impact_vtu"},
        {"results/", "results/hexdyn.pvd", "results/hexdyn_vtu"},  // made
        {"results", "results/hexdyn.pvd", "results/hexdyn_vtu"},   // exists
    };
    for (const Case& c : cases) {
        // A stale file of a longer series, and one that is not the export's.
        fs::create_directories(dir / c.folder);
        const std::string base = fs::path(c.folder).filename().string();
        const std::string name = base.substr(0, base.size() - 4);
        write_file(dir / c.folder / (name + "_0007.vtu"), "old");
        write_file(dir / c.folder / "notes.txt", "mine");
        ExportOptions opt;
        opt.dir = dir.path();
        if (*c.out) opt.out = dir.path().string() + "/" + c.out;
        const ExportReport rep = run_export(opt);
        EXPECT_TRUE(fs::exists(dir / c.pvd)) << c.out;
        ASSERT_EQ(rep.vtu.size(), 3u) << c.out;
        for (const fs::path& v : rep.vtu) {
            EXPECT_EQ(v.parent_path(), dir / c.folder) << c.out;
            EXPECT_TRUE(fs::exists(v)) << v;
        }
        EXPECT_FALSE(fs::exists(dir / c.folder / (name + "_0007.vtu"))) << c.out;
        EXPECT_TRUE(fs::exists(dir / c.folder / "notes.txt")) << c.out;
        // The collection names the files relative to its folder.
        const std::string pvd = read_file(dir / c.pvd);
        EXPECT_NE(pvd.find("file=\"" + base + "/" + name + "_0002.vtu\""), std::string::npos)
            << pvd;
    }
    // No .vtu in the run's folder itself.
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().extension(), ".vtu") << e.path();
    ExportOptions opt;
    opt.dir = dir.path();
    opt.out = dir.path().string() + "/none/deeper/";
    expect_rejected([&] { run_export(opt); }, "output directory", "missing parent");
    write_file(dir / "blocked_vtu", "a file");
    opt.out = dir / "blocked";
    expect_rejected([&] { run_export(opt); }, "blocked_vtu exists and is not a directory",
                    "blocked");
}
