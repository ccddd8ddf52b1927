// hexdyn-mesh as a program: its decks run in the solver, its mistakes are
// reported with a message and a non-zero exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testutil.hpp"

using namespace testutil;

namespace {

const std::string kMaterial = " --material \"elas 7800 2.1e11 0.3\"";

RunResult mesh(const std::string& args, const fs::path& dir) {
    return run_command(exe("hexdyn-mesh") + " " + args, dir, 60);
}

// Number of zones and of node records of the first zone of an animation file.
int zone_count(const std::string& anim) {
    int zones = 0;
    for (size_t p = anim.find("ZONE"); p != std::string::npos; p = anim.find("ZONE", p + 1))
        ++zones;
    return zones;
}

}  // namespace

TEST(ToolsMesh, HelpListsTheComponents) {
    TempDir dir("mesh-help");
    RunResult r = mesh("--help", dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("2 face z = zmin"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("4 outer lateral surface"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("in increasing order of the group"), std::string::npos) << r.out;
}

// Every program that reads or writes decks names the reference strain rate
// of each material word; the partition tool says what it carries.
TEST(ToolsMesh, EveryHelpNamesTheReferenceStrainRates) {
    TempDir dir("tools-help");
    for (const std::string& tool :
         {exe("hexdyn-mesh"), exe("hexdyn-partition"), exe("hexdyn-export"), exe("hexdyn-plot"),
          mpiexec() + " -n 1 " + exe("hexdyn")}) {
        const RunResult r = run_command(tool + " --help", dir.path(), 60);
        EXPECT_EQ(r.status, 0) << tool << "\n" << r.out;
        // The paragraph is wrapped to the width: read it as one line.
        std::string text = r.out;
        std::replace(text.begin(), text.end(), '\n', ' ');
        EXPECT_NE(text.find("john 1e-3 per second, fixed"), std::string::npos) << tool << "\n"
                                                                               << r.out;
        EXPECT_NE(text.find("the last constant of its record, RATE0 (1 per second for published"),
                  std::string::npos)
            << tool << "\n"
            << r.out;
    }
    const RunResult p = run_command(exe("hexdyn-partition") + " --help", dir.path(), 60);
    for (const char* carried : {"\"fixd\"", "\"bulk\"", "\"chkp\"", "\"ebal\"", "\"fout\""})
        EXPECT_NE(p.out.find(carried), std::string::npos) << carried << "\n" << p.out;
}

TEST(ToolsMesh, GeneratedDecksRunInTheSolver) {
    struct Case {
        const char* name;
        std::string args;
        int nodes, elements;
    };
    const Case cases[] = {
        {"box",
         "box --nx 3 --ny 2 --nz 4 --lx 0.03 --ly 0.02 --lz 0.04 --origin 0,0,0.001 --velocity "
         "1,0,0,-20 "
         "--load 3,0,0,-100 --rigid 3,0 --curve seqv,24 --curve ener" +
             kMaterial,
         4 * 3 * 5, 24},
        {"cylinder",
         "cylinder --radius 0.005 --length 0.02 --ncore 2 --nlayers 2 --nalong 3 --velocity "
         "2,0,0,50 "
         "--load 4,0,0,1 --time 0,0,1e-6,1,1,1 --hourglass 2,0.05 --jaumann off --curve epef,1" +
             kMaterial,
         (9 + 16) * 4, (4 + 16) * 3},
        {"gmsh",
         "gmsh " + std::string(HEXDYN_SOURCE_DIR) +
             "/examples/gmsh/block.msh --velocity block,0,0,-200 "
             "--rigid 3,0 --dtscale 0.5 --material \"john 8930 1.17e11 0.35 9e7 2.92e8 0.31 "
             "0.025\" "
             "--seos \"3940 1.49 2.02\"",
         135, 64},
        // jcth has 13 constants; the deck must name it, not john.
        {"jcth box",
         "box --nx 2 --ny 1 --nz 2 --lx 0.002 --ly 0.001 --lz 0.002 --velocity 1,0,0,-150 "
         "--rigid 3,0 --fix xmin,x --hourglass 2,0.1 --curve temp,1 --material \"jcth 8960 1.24e11 "
         "0.34 9e7 "
         "2.92e8 0.31 0.025 1.09 1356 294 383 0.9 1\"",
         3 * 2 * 3, 4},
    };
    for (const Case& c : cases) {
        TempDir dir("mesh-run");
        RunResult r =
            mesh(c.args + " --endtime 3e-6 --outtime 1e-6 --title \"" + c.name + " run\" --comm",
                 dir.path());
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.out;
        EXPECT_NE(r.out.find("wrote a: " + std::to_string(c.nodes) + " nodes, " +
                             std::to_string(c.elements) + " elements"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(read_file(dir / "Comm"), "0\n\n");
        RunResult s = run_hexdyn(dir.path(), 1, 120);
        ASSERT_EQ(s.status, 0) << c.name << ": " << s.out;
        EXPECT_NE(s.out.find("nb_particle ="), std::string::npos) << s.out;
        EXPECT_EQ(s.out.find("Warning"), std::string::npos) << s.out;
        EXPECT_EQ(s.out.find("Error"), std::string::npos) << s.out;
        const std::string anim = read_file(dir / "aresult_anim.dat");
        EXPECT_NE(anim.find("N=" + std::string(5 - std::to_string(c.nodes).size(), ' ') +
                            std::to_string(c.nodes)),
                  std::string::npos)
            << c.name;
        EXPECT_GE(zone_count(anim), 3) << c.name;
        EXPECT_NE(read_file(dir / "aresult_curv.dat").find(std::string(c.name) + " run"),
                  std::string::npos);
    }
}

TEST(ToolsMesh, OptionsFileGivesTheSameDeck) {
    TempDir dir("mesh-options");
    write_file(dir / "opts",
               "# a box thrown at a wall\n"
               "nx 2\n  ny 2\n--nz 3\nlx 1\nly 1\nlz 1.5\n\n"
               "material pla1 7800 2.1e11 0.3 3e8\n"
               "endtime 1e-4\n"
               "velocity 1,0,0,-10\n"
               "velocity 2 0 0 0\n"
               "curve engk\n"
               "title thrown box\n");
    RunResult a = mesh("box --options opts -o from_file", dir.path());
    ASSERT_EQ(a.status, 0) << a.out;
    RunResult b = mesh(
        "box --nx 2 --ny 2 --nz 3 --lx 1 --ly 1 --lz 1.5 --material \"pla1 7800 2.1e11 0.3 3e8\" "
        "--endtime 1e-4 --velocity 1,0,0,-10 --velocity 2,0,0,0 --curve engk --title \"thrown "
        "box\" "
        "-o from_args",
        dir.path());
    ASSERT_EQ(b.status, 0) << b.out;
    const std::string deck = read_file(dir / "from_file");
    EXPECT_EQ(deck, read_file(dir / "from_args"));
    EXPECT_NE(deck.find("sovr thrown box\n"), std::string::npos) << deck;
    EXPECT_NE(deck.find("velo\ncomp 1 0 0 -10\ncomp 2 0 0 0\nendv\n"), std::string::npos) << deck;
}

// Flanagan-Belytschko hourglass control unless told otherwise; checkpoints
// only when asked for, and then the solver writes them.
TEST(ToolsMesh, HourglassAndCheckpointRecords) {
    struct Case {
        std::string args;
        std::vector<std::string> present, absent;
    };
    const Case cases[] = {
        {"", {"\nhour 2 0.1\n"}, {"chkp"}},
        {" --hourglass 1,0.05 --checkpoint 1", {"\nhour 1 0.05\n", "\nchkp 1\n"}, {"hour 2"}},
        {" --checkpoint 5 --checkpoint off", {"\nhour 2 0.1\n"}, {"chkp"}},
    };
    for (const Case& c : cases) {
        TempDir dir("mesh-control");
        RunResult r = mesh(
            "box --nx 2 --ny 1 --nz 2 --lx 0.02 --ly 0.01 --lz 0.02 --velocity "
            "1,0,0,-20 --endtime 3e-6 --comm --fields off --energy off" +
                kMaterial + c.args,
            dir.path());
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.out;
        const std::string deck = read_file(dir / "a");
        for (const std::string& p : c.present)
            EXPECT_NE(deck.find(p), std::string::npos) << c.args << " lacks " << p;
        for (const std::string& a : c.absent)
            EXPECT_EQ(deck.find(a), std::string::npos) << c.args << " has " << a;
        RunResult s = run_hexdyn(dir.path(), 1, 120);
        ASSERT_EQ(s.status, 0) << c.args << ": " << s.out;
        EXPECT_EQ(fs::exists(dir / "achkp.1"), deck.find("chkp") != std::string::npos) << c.args;
    }
}

TEST(ToolsMesh, BadInputIsRejectedWithAMessage) {
    TempDir dir("mesh-bad");
    write_file(dir / "tet.msh",
               "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n4\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 "
               "1\n$EndNodes\n"
               "$Elements\n1\n1 4 2 1 1 1 2 3 4\n$EndElements\n");
    write_file(dir / "badopts", "nx 2\nny 2\nnz 2\nlx 1\nly 1\nlz 1\nsize 3\n");
    const std::string box = "box --nx 2 --ny 2 --nz 2 --lx 1 --ly 1 --lz 1";
    const std::string ok = kMaterial + " --endtime 1e-5";
    struct Case {
        std::string args, expect;
    };
    const Case cases[] = {
        {"", "no mesh kind given"},
        {"sphere --radius 1", "unknown mesh kind \"sphere\""},
        {box + ok + " --colour red", "unknown option --colour"},
        {box + ok + " stray", "unexpected argument \"stray\""},
        {"box --nx 2 --ny 2 --nz 2 --lx 1 --ly 1" + ok, "missing --lz"},
        {box + kMaterial, "missing --endtime"},
        {box + " --endtime 1e-5", "missing --material"},
        {"box --nx two --ny 2 --nz 2 --lx 1 --ly 1 --lz 1" + ok, "--nx: \"two\" is not an integer"},
        {"box --nx 0 --ny 2 --nz 2 --lx 1 --ly 1 --lz 1" + ok, "nx must be at least 1"},
        {"box --nx 2 --ny 2 --nz 2 --lx 1 --ly -1 --lz 1" + ok, "ly must be a positive number"},
        {box + ok + " --radius 1", "--radius applies to cylinder meshes only"},
        {box + ok + " --load 8,0,0,1", "--load: component 8 does not exist (the mesh has 7)"},
        {box + ok + " --velocity 1,0,0", "--velocity needs C,X,Y,Z"},
        {box + ok + " --time 0,1,1e-5,1", "the last time must lie beyond the end time"},
        {box + ok + " --curve seqv,9", "element 9 does not exist (the mesh has 8)"},
        {box + ok + " --curve vz,28", "--curve vz: node 28 does not exist (the mesh has 27)"},
        {box + ok + " --curve stress", "unknown variable \"stress\""},
        {box + " --endtime 1e-5 --material \"elas 7800 2.1e11 0.5\"", "Poisson's ratio"},
        {box + " --endtime 1e-5 --material \"pla1 7800 2.1e11 0.3\"",
         "pla1 needs 4 constants, got 3"},
        {box + " --endtime 1e-5 --material \"wood 700 1e10 0.3\"", "unknown model \"wood\""},
        {box + " --endtime 1e-5 --material \"plaw 7850 2e11 0.3 3e8 5e8 -0.5\"",
         "--material: the hardening exponent n must be zero or positive"},
        {box + ok + " --rigid 4,0", "--rigid direction"},
        {box + ok + " --hourglass 3,0.1", "--hourglass method must be 0, 1 or 2"},
        {box + ok + " --checkpoint 0", "--checkpoint must be at least 1 step, or off"},
        {box + ok + " --checkpoint often", "--checkpoint: \"often\" is not an integer"},
        {box + ok + " --endtime", "--endtime needs a value"},
        {box + ok + " --title \"a ! comment\"", "title"},
        {"box --options badopts" + ok, "badopts:7: unknown option --size"},
        {"box --options missing.txt" + ok, "cannot open options file \"missing.txt\""},
        {"gmsh missing.msh" + ok, "cannot open mesh file \"missing.msh\""},
        {"gmsh tet.msh" + ok, "element 1 is a 4-node tetrahedron; only 8-node hexahedra"},
        {"gmsh" + ok, "gmsh needs the mesh file"},
        {box + ok + " -o /nonexistent-dir/a", "cannot open \"/nonexistent-dir/a\" for writing"},
    };
    for (const Case& c : cases) {
        RunResult r = mesh(c.args, dir.path());
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_FALSE(r.timed_out) << c.args;
        EXPECT_NE(r.out.find("hexdyn-mesh: "), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "a")) << "a deck was written for bad input";
}

// Gmsh files that announce more than they hold or describe bad hexahedra:
// refused with file, line and element, a non-zero exit and no deck, in seconds.
TEST(ToolsMesh, GmshSizesTagsAndBadHexahedraAreRefused) {
    TempDir dir("mesh-gmsh-bad");
    const std::string fmt = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n";
    const std::string cube =
        "$Nodes\n8\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n5 0 0 1\n6 1 0 1\n7 1 1 1\n8 0 1 "
        "1\n$EndNodes\n";
    auto hex = [&](const std::string& record) {
        return fmt + cube + "$Elements\n1\n" + record + "\n$EndElements\n";
    };
    struct Case {
        const char* file;
        std::string text, expect;
    };
    const Case cases[] = {
        {"huge.msh", fmt + "$Nodes\n2147483647\n1 0 0 0\n$EndNodes\n",
         "huge.msh:5: number of nodes 2147483647 is more than the rest of the file can hold (2)"},
        {"bowtie.msh", hex("1 5 2 1 1 1 2 3 4 5 6 8 7"),
         "bowtie.msh:17: element 1 is folded or degenerate at corner 7 (corner Jacobian "
         "-1.0000E+00)"},
    };
    for (const Case& c : cases) {
        write_file(dir / c.file, c.text);
        const RunResult r = run_command(
            exe("hexdyn-mesh") + " gmsh " + c.file + kMaterial + " --endtime 1e-5 -o deck",
            dir.path(), 10);
        EXPECT_FALSE(r.timed_out) << c.file;
        EXPECT_EQ(r.status, 1) << c.file << "\n" << r.out;
        EXPECT_NE(r.out.find("hexdyn-mesh: " + c.expect), std::string::npos) << c.file << "\n"
                                                                             << r.out;
        EXPECT_FALSE(fs::exists(dir / "deck")) << c.file;
    }
}

// --rigid-body names a physical volume (a box's one part is "all"): its set
// becomes a "rigd" record with its velocities and holds, which the solver runs and a
// merge carries with the set renumbered; an unknown name is refused.
TEST(ToolsMesh, RigidBodiesByVolumeNameAndThroughMerge) {
    TempDir dir("mesh-rigid");
    const std::string two = std::string(HEXDYN_SOURCE_DIR) + "/examples/gmsh/two_blocks.msh";
    const std::string run = " --endtime 2e-6 --outtime 1e-6 --comm";
    RunResult r =
        mesh("gmsh " + two + kMaterial +
                 " --rigid-body projectile,0,0,-300,0,0,50,1,1,0,1 --fix base,xyz" + run + " -o a",
             dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(read_file(dir / "a").find("\nrigd 2 0 0 -300 0 0 50 1 1 0 1\n"), std::string::npos)
        << read_file(dir / "a");
    const RunResult s = run_hexdyn(dir.path(), 1, 120);
    ASSERT_EQ(s.status, 0) << s.out;
    EXPECT_TRUE(fs::exists(dir / "rigid.dat"));
    r = mesh("gmsh " + two + kMaterial + " --rigid-body bullet" + run + " -o b", dir.path());
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("--rigid-body: no physical volume named \"bullet\""), std::string::npos)
        << r.out;
    ASSERT_EQ(mesh("box --nx 2 --ny 2 --nz 1 --lx 0.02 --ly 0.02 --lz 0.01" + kMaterial + run +
                       " -o plate",
                   dir.path())
                  .status,
              0);
    ASSERT_EQ(mesh("box --nx 1 --ny 1 --nz 1 --lx 0.01 --ly 0.01 --lz 0.01 --rigid-body all" +
                       kMaterial + run + " -o ball",
                   dir.path())
                  .status,
              0);
    r = mesh("merge plate ball --offset 2=0.005,0.005,0.011 -o joined", dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(read_file(dir / "joined").find("\nrigd 2\n"), std::string::npos)
        << read_file(dir / "joined");
}

// Several parts: the physical volumes of a Gmsh mesh are material sets with
// components by name, and decks of several bodies join into one. The decks
// named "a" run in the solver, the joined one with contact also divided
// among two processes.
TEST(ToolsMesh, PartsAndJoinedBodies) {
    TempDir dir("mesh-parts");
    const std::string two = std::string(HEXDYN_SOURCE_DIR) + "/examples/gmsh/two_blocks.msh";
    const std::string run = " --endtime 2e-6 --outtime 1e-6 --comm";
    struct Case {
        std::string args, deck;  // the deck written ("a" is run)
        std::vector<std::string> present, absent;
    };
    const Case cases[] = {
        {"gmsh " + two + kMaterial +
             " --material projectile=\"pla1 2700 7e10 0.33 2e8\" --velocity "
             "projectile=0,0,-300 --fix base,xyz --contact off" +
             run,
         "a",
         {"nmat 2\n", "\n1 elas 7800 2.1e+11 0.3\n2 pla1 2700 7e+10 0.33 2e+08\n",
          "\nfixd 4 1 1 1\n", "\nvelo\ncomp 3 0 0 -300\nendv\n",
          "material set 2: volume 2 \"projectile\", 1 hexahedra"},
         {"cont"}},
        {"box --nx 2 --ny 2 --nz 1 --lx 0.02 --ly 0.02 --lz 0.01 --fix zmin,z --curve engk" +
             kMaterial + run,
         "plate",
         {},
         {}},
        {"box --nx 1 --ny 1 --nz 1 --lx 0.01 --ly 0.01 --lz 0.01 --velocity all,0,0,-100 "
         "--material \"pla1 2700 7e10 0.33 2e8\"" +
             run,
         "ball",
         {},
         {}},
        {"merge plate ball --offset 2=0.005,0.005,0.011 --comm",
         "a",
         {"nbmp 26\nnbel 5\nnmat 2\nncom 15\n", "\ncont\nendc\n", "\nfixd 3 0 0 1\n",
          "\nvelo\ncomp 9 0 0 -100\nendv\n", "\n19 9 0.005 0.005 0.011\n",
          "body 2 (ball): nodes 19..26, elements 5..5, material sets 2..2, components 9..15"},
         {}},
        {"merge plate ball --offset 2=0.005,0.005,0.011 --contact off",
         "joined",
         {"\nvelo\ncomp 9 0 0 -100\nendv\n"},
         {"cont"}},
    };
    for (const Case& c : cases) {
        const RunResult r = mesh(c.args + " -o " + c.deck, dir.path());
        ASSERT_EQ(r.status, 0) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.find("warning"), std::string::npos) << r.out;
        const std::string deck = read_file(dir / c.deck);
        for (const std::string& p : c.present)
            EXPECT_NE((deck + r.out).find(p), std::string::npos) << c.args << " lacks " << p;
        for (const std::string& a : c.absent)
            EXPECT_EQ(deck.find(a), std::string::npos) << c.args << " has " << a;
        if (c.deck == "a") {
            const RunResult s = run_hexdyn(dir.path(), 1, 120);
            EXPECT_EQ(s.status, 0) << c.args << "\n" << s.out;
            EXPECT_EQ(s.out.find("Error"), std::string::npos) << s.out;
        }
    }
    const RunResult p = run_command(exe("hexdyn-partition") + " a 2 --dir p2", dir.path(), 60);
    ASSERT_EQ(p.status, 0) << p.out;
    EXPECT_NE(read_file(dir / "p2" / "b").find("\ncont\nendc\n"), std::string::npos);
    EXPECT_NE(read_file(dir / "p2" / "b").find("\nglob\n"), std::string::npos);
    const RunResult s = run_hexdyn(dir / "p2", 2, 120);
    EXPECT_EQ(s.status, 0) << s.out;
    EXPECT_EQ(s.out.find("Error"), std::string::npos) << s.out;
    // The example block drawn in millimetres: a warning, and the deck all the same.
    const RunResult mm = mesh("gmsh " + std::string(HEXDYN_SOURCE_DIR) +
                                  "/examples/gmsh/block.msh --scale 1000 -o mm" + kMaterial + run,
                              dir.path());
    EXPECT_EQ(mm.status, 0) << mm.out;
    EXPECT_NE(mm.out.find("hexdyn-mesh: warning: the mesh and the material data look like "
                          "different units"),
              std::string::npos)
        << mm.out;
    EXPECT_TRUE(fs::exists(dir / "mm"));
}

TEST(ToolsMesh, PartAndMergeMistakesAreRefused) {
    TempDir dir("mesh-parts-bad");
    write_file(dir / "novolume.msh",
               "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n8\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 "
               "1 0\n5 0 0 1\n6 1 0 1\n7 1 1 1\n8 0 1 1\n$EndNodes\n$Elements\n1\n1 5 2 0 1 1 2 "
               "3 4 5 6 7 8\n$EndElements\n");
    write_file(dir / "empty", "nbmp 1\npart\n1 0 0 0 0\nendi\n");
    write_file(dir / "process", "nbmp 1\nnbel 0\nglob 4\npart\n1 0 0 0 0\nendi\n");
    const std::string two =
        "gmsh " + std::string(HEXDYN_SOURCE_DIR) + "/examples/gmsh/two_blocks.msh --endtime 1e-5";
    const std::string box = "box --nx 1 --ny 1 --nz 1 --lx 0.01 --ly 0.01 --lz 0.01 --endtime 1e-5";
    ASSERT_EQ(mesh(box + kMaterial + " -o b1", dir.path()).status, 0);
    ASSERT_EQ(mesh(box + kMaterial + " -o b2", dir.path()).status, 0);
    struct Case {
        std::string args, message;
        int status;
    };
    const Case cases[] = {
        {"gmsh novolume.msh --endtime 1e-5" + kMaterial,
         "novolume.msh: no physical volume: every hexahedron must belong to one (Physical Volume "
         "in Gmsh), whose material set it takes",
         1},
        {two + kMaterial + " --velocity nose=0,0,1",
         "--velocity: no face or group named \"nose\" (names: all, target, projectile, base)", 2},
        {two + kMaterial + " --load nose,0,0,1",
         "--load: no face or group named \"nose\" (names: all, target, projectile, base)", 2},
        {two + kMaterial + " --velocity 5,0,0,1",
         "--velocity: component 5 does not exist (the mesh has 4)", 2},
        {two + kMaterial + " --material nose=\"elas 1000 1e9 0.3\"",
         "--material: no physical volume named \"nose\" (volumes: target, projectile)", 2},
        {two + " --seos nose=\"4000 1.5 2\"" + kMaterial,
         "--seos: no physical volume named \"nose\" (volumes: target, projectile)", 2},
        {two + " --material projectile=\"elas 1000 1e9 0.3\"",
         "missing --material for physical volume 1 \"target\" (material set 1)", 2},
        {two + " --material =\"elas 1000 1e9 0.3\"", "--material NAME=...: no name before \"=\"",
         2},
        {two + kMaterial + " --scale 0", "--scale must be positive", 2},
        {box + kMaterial + " --scale 0.001", "--scale applies to gmsh meshes only", 2},
        {box + kMaterial + " --contact yes", "--contact takes on or off", 2},
        {"merge b1", "merge needs at least two decks", 2},
        {"merge b1 b2 --offset 3=0,0,1 -o m", "--offset: deck 3 outside 1..2", 2},
        {"merge b1 b2 --offset 1=0,0 -o m", "--offset needs K=DX,DY,DZ, got \"1=0,0\"", 2},
        {"merge b1 b2 --offset", "--offset needs a value", 2},
        {"merge b1 b2 --colour red", "unknown option --colour of merge", 2},
        {"merge b1 b2 --contact maybe", "--contact takes on or off", 2},
        {"merge b1 b2 -o b2",
         "the joined deck would overwrite the input deck b2; choose another -o", 1},
        {"merge b1 empty -o m", "empty: the deck has no elements", 1},
        {"merge b1 process -o m",
         "process: a process deck (it has \"glob\"); join one-process decks", 1},
    };
    for (const Case& c : cases) {
        const RunResult r = mesh(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find("hexdyn-mesh: " + c.message + "\n"), std::string::npos)
            << c.args << "\n"
            << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "m")) << "a joined deck was written for bad input";
    EXPECT_FALSE(fs::exists(dir / "a")) << "a deck was written for bad input";
}

namespace {

// A Gmsh mesh of two hexahedra stacked along z (sharing a face) in physical
// volumes 1 and 2, their bottom face the physical surface 3; `names` is the
// $PhysicalNames section's body.
std::string stacked_msh(const std::string& names) {
    return "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$PhysicalNames\n" + names +
           "$EndPhysicalNames\n$Nodes\n12\n1 0 0 0\n2 0.01 0 0\n3 0.01 0.01 0\n4 0 0.01 0\n5 0 0 "
           "0.01\n6 0.01 0 0.01\n7 0.01 0.01 0.01\n8 0 0.01 0.01\n9 0 0 0.02\n10 0.01 0 0.02\n11 "
           "0.01 0.01 0.02\n12 0 0.01 0.02\n$EndNodes\n$Elements\n3\n1 5 2 1 1 1 2 3 4 5 6 7 8\n2 "
           "5 2 2 2 5 6 7 8 9 10 11 12\n3 3 2 3 3 1 2 3 4\n$EndElements\n";
}

// The deck in `file` with `block` put before its "endi".
void add_block(const fs::path& file, const fs::path& to, const std::string& block) {
    std::string deck = read_file(file);
    deck.insert(deck.rfind("endi"), block);
    write_file(to, deck);
}

}  // namespace

// What a new user's own model meets: separate bodies without contact and a
// millimetre mesh are warned (the deck is written), volumes of one name and
// a name of two components refused, and a merge that cannot carry a block
// refused; every message names the value and what to do.
TEST(ToolsMesh, ImportsAndMergesWarnOrRefuse) {
    TempDir dir("mesh-warn");
    write_file(dir / "same.msh", stacked_msh("2\n3 1 \"plate\"\n3 2 \"plate\"\n"));
    write_file(dir / "shared.msh", stacked_msh("3\n3 1 \"plate\"\n3 2 \"ball\"\n2 3 \"plate\"\n"));
    const std::string box = "box --nx 1 --ny 1 --nz 1 --lx 0.01 --ly 0.01 --lz 0.01 --endtime 1e-5";
    ASSERT_EQ(mesh(box + kMaterial + " -o b1", dir.path()).status, 0);
    add_block(dir / "b1", dir / "f1", "fail\nstep 0.05\nendf\n");
    add_block(dir / "b1", dir / "f2", "fail\nstep 0.06\nendf\n");
    add_block(dir / "b1", dir / "c1", "cont\nscal 0.2\nendc\n");
    add_block(dir / "b1", dir / "c2", "cont\nscal 0.3\nendc\n");
    const std::string two = "gmsh " + std::string(HEXDYN_SOURCE_DIR) +
                            "/examples/gmsh/two_blocks.msh --endtime 1e-5" + kMaterial;
    struct Case {
        std::string args, message;
        int status;
    };
    const Case cases[] = {
        {two,
         "hexdyn-mesh: warning: the mesh holds 2 separate bodies that share no node (1 element of "
         "volume \"target\" (material set 1); 1 element of volume \"projectile\" (material set "
         "2)) and the deck has no contact, so they will "
         "pass through one another: add \"--contact on\" for contact between them",
         0},
        {"gmsh same.msh --endtime 1e-5" + kMaterial,
         "hexdyn-mesh: same.msh: physical volumes 1 and 2 are both named \"plate\", so an option "
         "naming \"plate\" would reach only one of them: give each volume a name of its own in "
         "Gmsh, or put both in one physical volume",
         1},
        {"gmsh shared.msh --endtime 1e-5 --velocity plate=0,0,-1" + kMaterial,
         "hexdyn-mesh: --velocity: \"plate\" names two components, 2 and 4 (physical groups of "
         "different dimensions share the name): give the component number, or name the groups "
         "apart in Gmsh",
         2},
        // A 40 x 40 x 0.8 mm plate with edges of 0.4 mm read as metres.
        {"box --nx 4 --ny 4 --nz 2 --lx 40 --ly 40 --lz 0.8 --endtime 1e-4" + kMaterial,
         "hexdyn-mesh: warning: the mesh and the material data look like different units: every "
         "density is above 100 (SI, kg/m^3), but read in metres the model is 40 m across and "
         "weighs 9.98e+06 kg, its step about 7.7e-05 s, so that the end time 0.0001 s takes "
         "about 1.3 steps",
         0},
        {"merge f1 f2 -o m",
         "hexdyn-mesh: f2: its failure record \"step 0.06\" differs from \"step 0.05\" of an "
         "earlier deck; the record acts on the whole joined model, so give the decks the same one",
         1},
        {"merge c1 c2 -o m",
         "hexdyn-mesh: c2: its contact penalty scale \"scal 0.3\" differs from \"scal 0.2\" of "
         "c1; the joined deck has one, so give the decks the same",
         1},
    };
    for (const Case& c : cases) {
        const RunResult r = mesh(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "m")) << "a joined deck was written for a refused merge";
    // The same models, said so or scaled, pass without a word.
    for (const std::string& args :
         {two + " --contact off", two + " --contact on",
          "gmsh shared.msh --endtime 1e-5" + kMaterial,
          "box --nx 4 --ny 4 --nz 2 --lx 0.04 --ly 0.04 --lz 0.0008 --endtime 1e-4" + kMaterial}) {
        const RunResult r = mesh(args + " -o quiet", dir.path());
        EXPECT_EQ(r.status, 0) << args << "\n" << r.out;
        EXPECT_EQ(r.out.find("warning"), std::string::npos) << args << "\n" << r.out;
    }
}

// An option given again replaces its earlier value, per name or target for
// the named ones; merge carries the failure and contact blocks of its
// bodies, and the solver reads what it joined.
TEST(ToolsMesh, RepeatedOptionsAndCarriedBlocks) {
    TempDir dir("mesh-last");
    const std::string two = "gmsh " + std::string(HEXDYN_SOURCE_DIR) +
                            "/examples/gmsh/two_blocks.msh --endtime 2e-6 --outtime 1e-6";
    write_file(dir / "opts", "material target=elas 1000 1e9 0.3\nfix base,xyz\n");
    const std::string box = "box --nx 2 --ny 2 --nz 1 --lx 0.02 --ly 0.02 --lz 0.01 --endtime 2e-6";
    ASSERT_EQ(mesh(box + " --material \"john 8930 1.17e11 0.35 9e7 2.92e8 0.31 0.025\" -o plate",
                   dir.path())
                  .status,
              0);
    ASSERT_EQ(mesh("box --nx 1 --ny 1 --nz 1 --lx 0.01 --ly 0.01 --lz 0.01 --endtime 1e-5 "
                   "--origin 0.005,0.005,0.011 --velocity all,0,0,-100" +
                       kMaterial + " -o ball",
                   dir.path())
                  .status,
              0);
    add_block(dir / "plate", dir / "plate_f", "fail\njc 1 0.05 3.44 -2.12 0.002 0.61\nendf\n");
    add_block(dir / "ball", dir / "ball_f",
              "fail\nspal 1 1.2e9\nstep 0.05\nendf\ncont\nscal 0.2\npair 1 1\nendc\n");
    struct Case {
        std::string args;
        std::vector<std::string> present, absent;
    };
    const Case cases[] = {
        {two + " --contact off" + kMaterial +
             " --material target=\"elas 1000 1e9 0.3\" --material target=\"elas 2700 7e10 0.33\"",
         {"\n1 elas 2700 7e+10 0.33\n2 elas 7800 2.1e+11 0.3\n"},
         {"elas 1000"}},
        {two + " --contact off" + kMaterial +
             " --options opts --material target=\"elas 2700 7e10 0.33\" "
             "--fix base,z",
         {"\n1 elas 2700 7e+10 0.33\n", "\nfixd 4 0 0 1\n"},
         {"elas 1000", "fixd 4 1 1 1"}},
        {two + " --contact off" + kMaterial +
             " --seos target=\"4570 1.49 1.93\" --seos target=\"5000 1.5 2\"",
         {"\nseos 1 1 5000 1.5 2\npart\n"},
         {"4570"}},
        // The ball's top corner at z = 0.021, moved by the last offset alone.
        {"merge plate ball --offset 2=0,0,0.5 --offset 2=0,0,0.001",
         {" 0.015 0.015 0.022\n"},
         {"0.521"}},
        {"merge plate_f ball_f",
         {"\nfail\njc 1 0.05 3.44 -2.12 0.002 0.61\nspal 2 1.2e+09\nstep 0.05\nendf\n",
          "\ncont\nscal 0.2\npair 1 1\npair 1 2\npair 2 2\nendc\n"},
         {"warning"}},
    };
    for (const Case& c : cases) {
        const RunResult r = mesh(c.args + " -o a --comm", dir.path());
        ASSERT_EQ(r.status, 0) << c.args << "\n" << r.out;
        const std::string deck = read_file(dir / "a");
        for (const std::string& p : c.present)
            EXPECT_NE(deck.find(p), std::string::npos) << c.args << " lacks " << p << "\n" << deck;
        for (const std::string& a : c.absent)
            EXPECT_EQ((deck + r.out).find(a), std::string::npos) << c.args << " has " << a;
        const RunResult s = run_hexdyn(dir.path(), 1, 120);
        EXPECT_EQ(s.status, 0) << c.args << "\n" << s.out;
        EXPECT_EQ(s.out.find("rror"), std::string::npos) << c.args << "\n" << s.out;
    }
}

// --wall writes one wall of the "wall" block per option, in order, by the
// deck's own records; a component is named as for --fix and renumbered by
// merge; a wall the solver would refuse is refused with the solver's text.
TEST(ToolsMesh, WallsFromTheCommandLine) {
    TempDir dir("mesh-walls");
    const std::string tube =
        "tube --side 0.02 --thickness 0.002 --length 0.03 --nwall 1 --nside 2 --nalong 3" +
        kMaterial + " --endtime 2e-6 --outtime 1e-6 --comm";
    struct Case {
        std::string walls, block;
    };
    const Case cases[] = {
        {" --wall plane,-0.02,0.02,0.0301,0,0,-1,edge=1,0,0,0.04,0.04,move=0,0,-15,fric=0.3",
         "wall\nplan -0.02 0.02 0.0301 0 0 -1\nedge 1 0 0 0.04 0.04\nmove 0 0 -15\nfric 0.3\n"
         "endw\n"},
        {" --wall \"cyli 0 0 0 0 0 1 0.05 leng=0.03 insi\" --wall sphe,0,0,-0.5,0.5,comp=bottom",
         "wall\ncyli 0 0 0 0 0 1 0.05\nleng 0.03\ninsi\nsphe 0 0 -0.5 0.5\ncomp 2\nendw\n"},
        {" --wall sphere,0,0,0.1,0.05,inside,comp=4",
         "wall\nsphe 0 0 0.1 0.05\ninsi\ncomp 4\nendw\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = mesh(tube + c.walls + " -o a", dir.path());
        ASSERT_EQ(r.status, 0) << c.walls << "\n" << r.out;
        const std::string deck = read_file(dir / "a");
        EXPECT_NE(deck.find("\n" + c.block), std::string::npos) << c.walls << "\n" << deck;
    }
    // The first deck's plate meets the tube in the solver.
    ASSERT_EQ(mesh(tube + cases[0].walls + " -o a", dir.path()).status, 0);
    const RunResult s = run_hexdyn(dir.path(), 1, 120);
    EXPECT_EQ(s.status, 0) << s.out;
    EXPECT_TRUE(fs::exists(dir / "walls.dat"));
    // merge renumbers the wall's component after the body's.
    ASSERT_EQ(mesh("box --nx 1 --ny 1 --nz 1 --lx 0.01 --ly 0.01 --lz 0.01" + kMaterial +
                       " --endtime 2e-6 -o box",
                   dir.path())
                  .status,
              0);
    ASSERT_EQ(mesh(tube + cases[1].walls + " -o walled", dir.path()).status, 0);
    const RunResult m = mesh("merge box walled --offset 2=0,0,0.1 -o joined", dir.path());
    ASSERT_EQ(m.status, 0) << m.out;
    EXPECT_NE(read_file(dir / "joined").find("\nsphe 0 0 -0.4 0.5\ncomp 10\n"), std::string::npos)
        << read_file(dir / "joined");

    const Case refused[] = {
        {"cone,1,2",
         "--wall: the shape is plan, cyli or sphe (plane, cylinder, sphere), not \"cone\""},
        {"plan,0,0,0,0,0", "--wall: plan takes 6 values, got 5"},
        {"plan,0,0,0,0,0,1,move=1,2", "--wall: move takes 3 values, got 2"},
        {"plan,0,0,0,0,0,1,fric=0.1,fric=0.2", "--wall: fric given twice (a wall takes one)"},
        {"plan,0,0,0,0,0,1,spin=1", "--wall: unknown record \"spin\""},
        {"sphe,0,0,0,1,comp=lid", "--wall: no face or group named \"lid\""},
        {"sphe,0,0,0,1,comp=9", "--wall: component 9 does not exist (the mesh has 5)"},
        {"plan,0,0,0,0,0,0", "--wall 1: the normal 0 0 0 has no direction"},
        {"plan,0,0,0,0,0,1,fric=11",
         "--wall 1: wall friction coefficient 11 is outside the valid range 0..10"},
        {"sphe,0,0,0,0", "--wall 1: wall radius 0 is outside the valid range 1e-9..1e9"},
        {"plan,0,0,0,0,0,1,edge=0,0,1,1,1", "--wall 1: the edge 0 0 1 does not lie in the plane"},
        {"plan,0,0,0,0,0,1,leng=1", "--wall 1: leng belongs to a cylinder (cyli)"},
        {"sphe,0,0,0,x", "--wall sphe: \"x\" is not a number"},
    };
    for (const Case& c : refused) {
        const RunResult r = mesh(tube + " --wall " + c.walls + " -o bad", dir.path());
        EXPECT_NE(r.status, 0) << c.walls;
        EXPECT_NE(r.out.find("hexdyn-mesh: " + c.block), std::string::npos) << c.walls << "\n"
                                                                            << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "bad"));
}
