// Contact between bodies against theory: two bars striking end to end, a
// block sliding with friction, a tilted block dropped on another that must
// not end inside it, the same model on several processes, and the stops of
// contact input that only a run of several processes shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bodies.hpp"
#include "results.hpp"
#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

const std::string kSteel = "elas 7800.0 2.1e11 0.0";
constexpr double kRho = 7800.0, kE = 2.1e11;

}  // namespace

// Two equal elastic bars (Poisson's ratio 0, so 1-D theory holds exactly)
// meet end to end at +v and -v: the interface stress is rho c v, the
// contact lasts 2L/c, the bars leave with their velocities reversed and the
// energy is kept.
TEST(VerificationContact, BarsStrikingEndToEndFollowOneDimensionalTheory) {
    TempDir dir("contact-bars");
    const double L = 0.1, v = 10.0, c = std::sqrt(kE / kRho), T = 2.0 * L / c;
    std::vector<Body> bars = {{1, 1, 100, {0, 0, 0}, {0.01, 0.01, L}, 1, {0, 0, v}},
                              {1, 1, 100, {0, 0, L}, {0.01, 0.01, L}, 1, {0, 0, -v}}};
    const std::string control =
        "endt 5.0e-5\noutt 2.0e-7\nrepo 100000\ntime 2 0.0 1.0 1.0 1.0\nhour 2 0.1\nstab on\n"
        "ebal on\njaum off\ncont\nendc";
    // Element 100 is bar 1's end at the interface; nodes 1 and 808 the far ends.
    write_single_run(dir.path(), deck(bars, {"1 " + kSteel}, control,
                                      "curv sm 100\ncurv cnor\ncurv vz 1\ncurv vz 808\n"));
    const RunResult r = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto rows = curve_rows(dir / "aresult_curv.dat");
    const auto e = energy_rows(dir / "energy.dat");
    ASSERT_GT(rows.size(), 200u);
    // Duration: the force above half its plateau.
    double peak = 0.0, start = -1.0, end = -1.0, stress = 0.0;
    int n = 0;
    for (const auto& row : rows) peak = std::max(peak, row[2]);
    for (const auto& row : rows) {
        if (row[2] > 0.5 * peak) {
            if (start < 0.0) start = row[0];
            end = row[0];
        }
        if (row[0] > 0.25 * T && row[0] < 0.75 * T) {
            stress += -3.0 * row[1];
            n += 1;
        }
    }
    stress /= n;
    const double theory = kRho * c * v;
    double vend1 = 0.0, vend2 = 0.0, total = 0.0;
    int m = 0;
    for (const auto& row : rows)
        if (row[0] > 1.1 * T) {
            vend1 += row[3];
            vend2 += row[4];
            m += 1;
        }
    for (const auto& row : e)
        if (row[0] > 1.1 * T) total = std::max(total, std::fabs(row[7] - e[0][1]) / e[0][1]);
    std::printf(
        "bars: stress %.4e (theory %.4e, %+.2f %%), contact %.3f us (2L/c %.3f us, "
        "%+.2f %%), far ends %.3f / %.3f m/s, energy off by %.2e after\n",
        stress, theory, 100.0 * (stress / theory - 1.0), (end - start) * 1e6, T * 1e6,
        100.0 * ((end - start) / T - 1.0), vend1 / m, vend2 / m, total);
    EXPECT_NEAR(stress / theory, 1.0, 0.03);
    EXPECT_NEAR((end - start) / T, 1.0, 0.03);
    EXPECT_NEAR(vend1 / m, -v, 0.03 * v);
    EXPECT_NEAR(vend2 / m, v, 0.03 * v);
    EXPECT_LT(total, 0.01);
}

// A block sliding on a held block under a steady load: the friction force
// is mu times the normal force while it slides.
TEST(VerificationContact, SlidingBlockFrictionIsMuTimesTheNormalForce) {
    TempDir dir("contact-friction");
    std::vector<Body> b = {{4, 4, 1, {0, 0, 0}, {0.04, 0.04, 0.01}, 1, {0, 0, 0}},
                           {2, 2, 1, {0.01, 0.01, 0.01}, {0.02, 0.02, 0.01}, 2, {2.0, 0, 0}}};
    const std::string control =
        "endt 4.0e-5\noutt 2.0e-7\nrepo 100000\ntime 2 0.0 1.0 1.0 1.0\nhour 2 0.1\nstab on\n"
        "cont\nfric 0.3 0.3 0.0\nendc\nfixd 3 1 1 1";
    // A load on the top block's upper nodes (component 2) pressing it down.
    write_single_run(dir.path(), deck(b, {"1 " + kSteel, "2 elas 2700.0 7.0e10 0.3"}, control,
                                      "load\ncomp 2 0.0 0.0 -100.0\nendl\ncurv cnor\ncurv cfri\n"));
    const RunResult r = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(r.status, 0) << r.out;
    double worst = 0.0;
    int n = 0;
    for (const auto& row : curve_rows(dir / "aresult_curv.dat"))
        if (row[1] > 0.0) {
            worst = std::max(worst, std::fabs(row[2] / row[1] / 0.3 - 1.0));
            n += 1;
        }
    std::printf("friction: %d output times sliding, friction/normal within %.2e of mu\n", n, worst);
    EXPECT_GT(n, 30);
    EXPECT_LT(worst, 0.02);
}

// A tilted aluminium block dropped on a steel block, on 1, 3 and 7
// processes: no node of either ends inside an element of the other, and the
// balance is the same to its printed digits. It starts with its lowest corner
// 0.3 mm above the other block.
TEST(VerificationContact, TiltedBlockDroppedOnABlockStaysOutsideOnAnyPartition) {
    TempDir dir("contact-drop");
    std::vector<Body> b = {
        {4, 4, 2, {0, 0, 0}, {0.04, 0.04, 0.02}, 1, {0, 0, 0}},
        {3, 3, 3, {0.01, 0.01, 0.0235}, {0.015, 0.015, 0.015}, 2, {0, 0, -100.0}, 0.35}};
    const std::string control =
        "endt 6.0e-5\noutt 2.0e-6\nrepo 100000\ntime 2 0.0 1.0 1.0 1.0\nhour 2 0.1\nstab on\n"
        "ebal on\ncont\nendc\nfixd 3 0 0 1";
    const std::string d =
        deck(b, {"1 " + kSteel, "2 elas 2700.0 7.0e10 0.3"}, control, "curv engk\n");
    write_single_run(dir.path(), d);
    ASSERT_EQ(run_hexdyn(dir.path(), 1, 300).status, 0);
    const auto zones = anim_zones(dir / "aresult_anim.dat");
    ASSERT_FALSE(zones.empty());
    const std::vector<Point3>& x = zones.back().pos;
    // Nodes of one body against the elements of the other.
    int inner = 0;
    for (int s = 0; s < 2; ++s) {
        const Body& nodes = b[static_cast<size_t>(s)];
        const Body& els = b[static_cast<size_t>(1 - s)];
        for (int k = 0; k < els.nz; ++k)
            for (int j = 0; j < els.ny; ++j)
                for (int i = 0; i < els.nx; ++i) {
                    const int c[8] = {els.node(i, j, k),
                                      els.node(i + 1, j, k),
                                      els.node(i + 1, j + 1, k),
                                      els.node(i, j + 1, k),
                                      els.node(i, j, k + 1),
                                      els.node(i + 1, j, k + 1),
                                      els.node(i + 1, j + 1, k + 1),
                                      els.node(i, j + 1, k + 1)};
                    Point3 corners[8];
                    for (int q = 0; q < 8; ++q) corners[q] = x[static_cast<size_t>(c[q] - 1)];
                    for (int p = nodes.first; p < nodes.first + nodes.nodes(); ++p)
                        inner += inside(corners, x[static_cast<size_t>(p - 1)], 0.02);
                }
    }
    const auto serial = energy_rows(dir / "energy.dat");
    std::printf(
        "drop: %d nodes inside the other body; the block's corner moved %.2f mm in z\n", inner,
        1e3 * (x[static_cast<size_t>(b[1].first - 1)][2] - zones[0].pos[b[1].first - 1][2]));
    EXPECT_EQ(inner, 0);

    for (const int np : {3, 7}) {
        TempDir run("contact-drop-" + std::to_string(np));
        const RunResult p = run_command(exe("hexdyn-partition") + " " + (dir / "a").string() + " " +
                                            std::to_string(np) + " --dir .",
                                        run.path());
        ASSERT_EQ(p.status, 0) << p.out;
        const RunResult r = run_hexdyn(run.path(), np, 600);
        ASSERT_EQ(r.status, 0) << r.out;
        const auto a = energy_rows(run / "energy.dat");
        ASSERT_EQ(a.size(), serial.size());
        // To the printed digits, beyond the rounding of sums in another
        // order (of size 1e-16 of the energies, a column that should be 0
        // holds such rounding).
        double worst = 0.0;
        for (size_t i = 0; i < a.size(); ++i)
            for (size_t c = 0; c + 1 < a[i].size(); ++c)
                worst = std::max(worst, std::fabs(a[i][c] - serial[i][c]) /
                                            (std::fabs(serial[i][c]) + 1e-12 * serial[0][1]));
        std::printf("drop on %d processes: energies within %.1e of one process's\n", np, worst);
        EXPECT_LT(worst, 1e-8);
    }
}

// Contact on several processes needs the whole-model numbers.
TEST(ContactInput, SeveralProcessesWithoutGlobalNumbersStop) {
    TempDir dir("contact-noglob");
    std::vector<Body> b = {{1, 1, 1, {0, 0, 0}, {0.01, 0.01, 0.01}, 1, {0, 0, 0}}};
    const std::string d =
        deck(b, {"1 " + kSteel}, "endt 1e-6\noutt 1e-6\ntime 2 0.0 1.0 1.0 1.0\ncont\nendc", "");
    write_file(dir / "a", d);
    write_file(dir / "b", d);
    write_file(dir / "Comm", "0\n");
    const RunResult r = run_hexdyn(dir.path(), 2, 120);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" *** Error *** contact on several processes needs the numbers of the "
                         "nodes and elements in the whole model (\"glob\", written by "
                         "hexdyn-partition)"),
              std::string::npos)
        << r.out;
}

// Two blocks (4 x 4 x 2 elements of 2 mm) that start one inside the other:
// beyond the stop depth, behind the other's face or deeper than the faces
// reach, the run stops naming the deepest node (on one process and on two);
// within it, the nodes are reported and the run goes on.
TEST(ContactInput, BodiesStartingInsideEachOtherAreRefused) {
    struct Case {
        double overlap;  // m
        int np;
        std::string message;
        bool stops;
    };
    const std::string deep =
        " node(s) start inside another body deeper than a quarter of a per cent of its "
        "elements' thickness, the deepest by ";
    const Case cases[] = {
        {4.0e-4, 1, " *** Error *** contact: 50" + deep + "4.000E-04 m (node 1 in element 49)",
         true},
        {2.0e-3, 1, " *** Error *** contact: 18" + deep + "2.000E-03 m", true},
        {2.0e-3, 2, " *** Error *** contact: 18" + deep + "2.000E-03 m", true},
        {1.0e-6, 1,
         " *** Warning *** contact: 50 node(s) start behind a face, the deepest by 1.000E-06 m "
         "(node 1, face of element 49); within a quarter of a per cent of the element's "
         "thickness, each is held where it starts and let go as it leaves",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.overlap) + " m on " + std::to_string(c.np));
        TempDir dir("contact-overlap");
        std::vector<Body> b = {
            {4, 4, 2, {0, 0, 0}, {0.008, 0.008, 0.004}, 1, {0, 0, 0}},
            {4, 4, 2, {0, 0, -0.004 + c.overlap}, {0.008, 0.008, 0.004}, 1, {0, 0, 0}}};
        const std::string d = deck(b, {"1 " + kSteel},
                                   "endt 1e-6\noutt 1e-6\ntime 2 0.0 1.0 1.0 1.0\ncont\nendc", "");
        if (c.np == 1) {
            write_single_run(dir.path(), d);
        } else {
            write_file(dir / "model.deck", d);
            ASSERT_EQ(
                run_command(exe("hexdyn-partition") + " model.deck 2 --dir .", dir.path()).status,
                0);
        }
        const RunResult r = run_hexdyn(dir.path(), c.np, 120);
        EXPECT_EQ(r.status != 0, c.stops) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    }
}

// Process decks whose copies of a shared node disagree stop the whole job
// at start-up with one message naming the node, both processes and both
// points: two unit cells of a 3 x 1 x 1 grid side by side, process 0 the
// left one, process 1 the right one, sharing the face x = 0.01.
TEST(ContactInput, GlobalNumbersThatDisagreeStopTheJob) {
    const auto cell = [](double x, int first, bool glob, const std::string& coordinate) {
        std::vector<Body> b = {{1, 1, 1, {x, 0, 0}, {0.01, 0.01, 0.01}, 1, {0, 0, 0}}};
        std::string extra;
        if (glob) {
            extra = "glob\n";
            for (int k = 0; k < 2; ++k)
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i)
                        extra += std::to_string(first + i + 3 * (j + 2 * k)) + " ";
            extra += x > 0.0 ? "2\n" : "1\n";
        }
        std::string d =
            deck(b, {"1 " + kSteel}, "endt 1e-6\noutt 1e-6\ntime 2 0.0 1.0 1.0 1.0", extra);
        if (!coordinate.empty()) {
            // Node 1 (the cell's corner at x) given at another place.
            const size_t at = d.find("\n1 2 0.01 0 0\n");
            EXPECT_NE(at, std::string::npos) << d;
            if (at != std::string::npos) d.replace(at + 5, 4, coordinate);
        }
        return d;
    };
    // The right cell's local nodes 1, 3, 5, 7 are the left one's 2, 4, 6, 8.
    const std::string sparse =
        "sparse 2\nprocess 0 neighbours 1\nwith 1 nodes 4\n2 4 6 8\n"
        "process 1 neighbours 1\nwith 0 nodes 4\n1 3 5 7\n";
    struct Case {
        const char* name;
        int first;               // the right cell's global number of its first node (2 agrees)
        bool glob;               // the right cell's deck has "glob"
        std::string coordinate;  // the right cell's first node at this x instead of 0.01
        std::string message;
        std::string comm = {};  // the table, when not the sparse one
    };
    const std::string shifted =
        " *** Error *** a node shared by processes 0 and 1 has two global numbers: global node 2 "
        "at (0.009999999776482582, 0, 0) on process 0, global node 1002 at "
        "(0.009999999776482582, 0, 0) on process 1: the global numbers of the process decks "
        "(\"glob\") do not agree; regenerate them with hexdyn-partition";
    const Case cases[] = {
        {"numbers shifted by 1000", 1002, true, "", shifted},
        {"numbers shifted by 1000, dense table", 1002, true, "", shifted, "4\n2 4 6 8\n1 3 5 7\n"},
        // One unit in the last place of the single-precision coordinate:
        // within the table's pairing tolerance, and still not the same node.
        {"a shared node moved by one unit in the last place", 2, true, "0.0100000007",
         " *** Error *** global node 2 lies at (0.009999999776482582, 0, 0) on process 0 but at "
         "(0.010000000707805157, 0, 0) on process 1: the process decks do not describe the same "
         "model; regenerate them with hexdyn-partition"},
        {"one deck without numbers", 2, false, "",
         " *** Error *** the deck of process 1 has no global numbers (\"glob\") but other process "
         "decks have them; regenerate the decks with hexdyn-partition"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir("glob-clash");
        write_file(dir / "a", cell(0.0, 1, true, ""));
        write_file(dir / "b", cell(0.01, c.first, c.glob, c.coordinate));
        write_file(dir / "Comm", c.comm.empty() ? sparse : c.comm);
        const RunResult r = run_hexdyn(dir.path(), 2, 120);
        EXPECT_NE(r.status, 0) << r.out;
        const size_t at = r.out.find(c.message + "\n");
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(" *** Error", at + 1), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("solving..."), std::string::npos) << r.out;
    }
}

// Penalty springs far stiffer than the step allows (scal 10, or psca 10 for
// the pair of sets) make two blocks
// striking each other run away: the stop names the pair whose spring needs
// a shorter step and the penalty scale among the remedies, exits with a failure, and leaves field.pvd listing a frame of
// the state it stopped in (after the first step's), whose files are on disk,
// on one process and on two.
TEST(ContactInput, UnstableContactStopsWithItsLastFrame) {
    // The whole model's scale, or the scale of the pair of sets only.
    for (const auto& [np, stiff] :
         {std::pair<int, const char*>{1, "scal 10"}, {2, "scal 10"}, {1, "psca 1 1 10"}}) {
        SCOPED_TRACE(std::to_string(np) + " " + stiff);
        TempDir dir("contact-runaway");
        std::vector<Body> b = {{2, 2, 2, {0, 0, 0}, {0.01, 0.01, 0.01}, 1, {0, 0, 20}},
                               {2, 2, 2, {0, 0, 0.0101}, {0.01, 0.01, 0.01}, 1, {0, 0, -20}}};
        const std::string d =
            deck(b, {"1 " + kSteel},
                 "endt 1e-3\noutt 1e-3\nrepo 100000\ntime 2 0.0 1.0 1.0 1.0\ncont\n" +
                     std::string(stiff) + "\nendc\nfout 1.0",
                 "");
        if (np == 1) {
            write_single_run(dir.path(), d);
        } else {
            write_file(dir / "model.deck", d);
            const RunResult p =
                run_command(exe("hexdyn-partition") + " model.deck 2 --dir .", dir.path());
            ASSERT_EQ(p.status, 0) << p.out;
        }
        const RunResult r = run_hexdyn(dir.path(), np, 300);
        EXPECT_NE(r.status, 0) << r.out;
        // The stop names the pair whose spring needed a shorter step.
        const std::string advice = "; lower the penalty scale (scal in cont)\n";
        const size_t line = r.out.find(" *** Error *** ");
        ASSERT_NE(line, std::string::npos) << r.out;
        const size_t at = r.out.find(advice, line);
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(advice, at + 1), std::string::npos) << r.out;
        // Which pair of the two blocks' faces depends on the process that
        // stops the run.
        const std::string named = r.out.substr(line, at - line);
        EXPECT_NE(named.find("(bulk); the contact spring of node "), std::string::npos) << r.out;
        EXPECT_NE(named.find("(material set 1) needs a step of 3.732E-07 s"), std::string::npos)
            << r.out;
        ASSERT_TRUE(fs::exists(dir / "field.pvd")) << r.out;
        const std::string pvd = read_file(dir / "field.pvd");
        std::vector<std::string> files;
        for (size_t f = pvd.find("file=\""); f != std::string::npos; f = pvd.find("file=\"", f + 1))
            files.push_back(pvd.substr(f + 6, pvd.find('"', f + 6) - f - 6));
        ASSERT_EQ(files.size(), 2u) << pvd;
        EXPECT_EQ(files[1], "field/t00001.pvtu");
        EXPECT_TRUE(fs::exists(dir / files[1]));
        for (const char* deckname : {"a", "b"}) {
            if (deckname[0] == 'b' && np == 1) break;
            EXPECT_TRUE(fs::exists(dir / (std::string("field/t00001_") + deckname + ".vtu")));
        }
    }
}

// A flyer plate strikes a target plate of the same elastic material
// (Poisson's ratio 0, 1-D strain = 1-D stress) whose mean stress in tension
// is limited (spall): the releases from the two free surfaces meet at the
// flyer's thickness d from the target's rear, (D + d)/c after the impact,
// where the tension first reaches rho c v / 2. Bonded at the impact face
// (which stays in compression until then) the elements eroded first lie
// there, then. Struck through contact instead, the same erosion runs alike
// on 1 and 3 processes.
TEST(VerificationFailure, SpallWhereTheReleasesMeet) {
    const double d = 0.05, D = 0.1, v = 20.0, c = std::sqrt(kE / kRho);
    const double tension = kRho * c * v / 2.0;
    std::ostringstream control;
    control << "endt 3.6e-5\noutt 1.0e-7\nrepo 100000\ntime 2 0.0 1.0 1.0 1.0\nhour 2 0.1\n"
               "stab on\nebal on\njaum off\nfail\nspal 1 "
            << 0.5 * tension / 3.0 << "\nendf";
    // Bonded: one bar, its first 50 layers of nodes moving. Element 51 + k
    // lies at depth (k + 1/2) mm behind the impact face.
    TempDir dir("spall");
    std::vector<Body> bar = {{1, 1, 150, {0, 0, -d}, {0.002, 0.002, d + D}, 1, {0, 0, 0}}};
    std::string extra;
    for (int k = 40; k <= 58; k += 3) extra += "curv dmg " + std::to_string(51 + k) + "\n";
    std::string text = deck(bar, {"1 " + kSteel}, control.str(), extra);
    std::string moving;
    for (int n = 1; n <= 4 * 50; ++n) moving += "node " + std::to_string(n) + " 0 0 20\n";
    text.insert(text.find("endv\n"), moving);
    write_single_run(dir.path(), text);
    const RunResult r = run_hexdyn(dir.path(), 1, 300);
    ASSERT_EQ(r.status, 0) << r.out;
    double when = -1.0, where = 0.0;
    for (const auto& row : curve_rows(dir / "aresult_curv.dat")) {
        int n = 0;
        double sum = 0.0;
        for (size_t j = 1; j < row.size(); ++j)
            if (row[j] >= 1.0) {
                sum += 40 + 3 * static_cast<int>(j - 1) + 0.5;
                n += 1;
            }
        if (n > 0) {
            when = row[0];
            where = sum / n * 1e-3;
            break;
        }
    }
    const double theory = (D + d) / c;
    std::printf(
        "spall: first eroded around %.1f mm from the impact face (theory %.1f), at %.2f "
        "us (theory %.2f us, %+.1f %%)\n",
        where * 1e3, (D - d) * 1e3, when * 1e6, theory * 1e6, 100.0 * (when / theory - 1.0));
    ASSERT_GE(when, 0.0) << r.out;
    EXPECT_NEAR(where, D - d, 2.5e-3);
    EXPECT_NEAR(when / theory, 1.0, 0.03);

    // Through contact, on 1 and 3 processes.
    TempDir one("spall-contact");
    std::vector<Body> b = {{1, 1, 50, {0, 0, -d}, {0.002, 0.002, d}, 1, {0, 0, v}},
                           {1, 1, 100, {0, 0, 0}, {0.002, 0.002, D}, 1, {0, 0, 0}}};
    write_single_run(one.path(), deck(b, {"1 " + kSteel},
                                      control.str() + "\ncont\nendc\nfout 1.0e-4", "curv engk\n"));
    const RunResult r1 = run_hexdyn(one.path(), 1, 300);
    ASSERT_EQ(r1.status, 0) << r1.out;
    EXPECT_EQ(r1.out.find(" 0 element(s) eroded"), std::string::npos) << r1.out;
    // The last field frame leaves out exactly the eroded elements (of 150),
    // and those it draws have damage below 1.
    write_file(one / "hidden.py",
               "import glob, meshio\n"
               "m = meshio.read(sorted(glob.glob('field/*_a.vtu'))[-1])\n"
               "d = m.cell_data['damage'][0]\n"
               "print('hidden', 150 - len(d), int((d >= 1).sum()))\n");
    const RunResult f = run_command("/usr/bin/python3 hidden.py", one.path());
    const std::size_t at = r1.out.find(" element(s) eroded in the run");
    ASSERT_NE(at, std::string::npos);
    const std::string n =
        r1.out.substr(r1.out.rfind('\n', at) + 2, at - r1.out.rfind('\n', at) - 2);
    EXPECT_NE(f.out.find("hidden " + n + " 0"), std::string::npos) << f.out << " / " << n;
    TempDir run("spall-3");
    const RunResult p = run_command(
        exe("hexdyn-partition") + " " + (one / "a").string() + " 3 --dir .", run.path());
    ASSERT_EQ(p.status, 0) << p.out;
    const RunResult r3 = run_hexdyn(run.path(), 3, 600);
    ASSERT_EQ(r3.status, 0) << r3.out;
    // The count of the whole job, summed over the processes only when it is
    // read, is the one process's.
    EXPECT_NE(r3.out.find("\n " + n + " element(s) eroded in the run"), std::string::npos)
        << r3.out;
    const auto e1 = energy_rows(one / "energy.dat"), three = energy_rows(run / "energy.dat");
    ASSERT_EQ(e1.size(), three.size());
    double worst = 0.0;
    for (size_t i = 0; i < e1.size(); ++i)
        for (size_t k = 0; k + 1 < e1[i].size(); ++k)
            worst = std::max(worst, std::fabs(e1[i][k] - three[i][k]) / e1[0][1]);
    // The columns are printed to 1e-9 of the initial energy.
    std::printf(
        "spall through contact on 3 processes: energies within %.1e of the initial "
        "energy of one process's\n",
        worst);
    EXPECT_LT(worst, 1e-9);
}

// A single Johnson-Cook element pulled in uniaxial tension (triaxiality 1/3,
// no rate or temperature term) fails when its effective plastic strain
// reaches D1 + D2 exp(D3 / 3).
TEST(VerificationFailure, TensionFailsAtTheJohnsonCookStrain) {
    TempDir dir("jc-tension");
    const double d1 = 0.05, d2 = 0.05, d3 = -1.5;
    std::ostringstream s;
    s << "sovr jc tension\nnbmp 8\nnbel 1\nnmat 1\nncom 3\nendt 4.0e-4\noutt 2.0e-6\n"
         "repo 100000\nstab on\nhour 2 0.1\ntime 2 0.0 0.0 4.0e-4 1.0\nmate\n"
         "1 john 7850 2.0e11 0.3 3.5e8 2.75e8 0.36 0.0\nfail\njc 1 "
      << d1 << " " << d2 << " " << d3
      << " 0 0\nendf\npart\n1 2 0 0 0\n2 3 0.01 0 0\n3 1 0.01 0.01 0\n4 1 0 0.01 0\n"
         "5 0 0 0 0.01\n6 0 0.01 0 0.01\n7 0 0.01 0.01 0.01\n8 0 0 0.01 0.01\n"
         "elem\n1 1 1 2 3 4 5 6 7 8\nfixd 1 0 0 1\nfixd 2 1 1 1\nfixd 3 0 1 1\nload\n"
         "node 5 0 0 1.5e4\nnode 6 0 0 1.5e4\nnode 7 0 0 1.5e4\nnode 8 0 0 1.5e4\nendl\n"
         "curv epef 1\ncurv dmg 1\nendi\n";
    write_single_run(dir.path(), s.str());
    const RunResult r = run_hexdyn(dir.path(), 1, 120);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(" 1 element(s) eroded in the run"), std::string::npos) << r.out;
    const auto rows = curve_rows(dir / "aresult_curv.dat");
    const double ef = d1 + d2 * std::exp(d3 / 3.0), at = rows.back()[1];
    std::printf("tension: eroded at plastic strain %.5f, Johnson-Cook %.5f (%+.2f %%)\n", at, ef,
                100.0 * (at / ef - 1.0));
    EXPECT_EQ(rows.back()[2], 1.0);
    EXPECT_NEAR(at / ef, 1.0, 0.02);
}
