// Division of a deck among processes: the invariants every partition must
// keep, for several assignments of elements to processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "formats/deck.hpp"
#include "formats/map.hpp"
#include "mesh/generators.hpp"
#include "parallel/commtable.hpp"
#include "partition/partition.hpp"
#include "testutil.hpp"

using formats::Deck;

namespace {

// A 6 x 4 x 3 box with loads and velocities on overlapping components,
// node records, an extra node of no element and curves of both kinds.
Deck sample_deck() {
    Deck d;
    mesh::BoxParams s;
    s.nx = 6;
    s.ny = 4;
    s.nz = 3;
    s.lx = 0.06;
    s.ly = 0.04;
    s.lz = 0.03;
    mesh::make_box(s, d);
    d.title = "split sample";
    d.endtime = 1e-5;
    d.outtime = 1e-6;
    d.report = 10;
    d.rigid = formats::RigidPlane{3, 0.0};
    d.midstep = true;
    d.corrected = true;
    d.consistent = false;
    d.solvermath = true;
    d.timetable = std::vector<formats::TimePoint>{{0, 0}, {1e-5, 1}, {1, 1}};
    d.materials = {{"pla1", {7800, 2.1e11, 0.3, 3e8}}, {"elas", {2700, 7e10, 0.33}}};
    d.seos = {{1, 1, 4570, 1.49, 1.93}};
    for (size_t e = 0; e < d.elements.size(); e += 5) d.elements[e].mat = 2;
    d.nodes.push_back({1.0, 1.0, 1.0});  // node of no element
    d.components[0].push_back(d.nnodes());
    d.loads = {{true, 3, {0, 0, -100}},  // top face
               {true, 5, {-50, 0, 0}},   // x = xmax, overrides the top-face load on their edge
               {false, 1, {1, 2, 3}},    // a corner node
               {false, d.nnodes(), {9, 9, 9}}};  // the lonely node
    d.velocities = {{true, 1, {0, 0, -10}}, {true, 4, {5, 0, 0}}, {false, 40, {0, 7, 0}}};
    // vx at node 4, on the boundary of the slabs, and dz at the lonely node.
    d.curves = {{1, 1}, {6, 1}, {2, 72}, {7, 1}, {5, 37}, {9, 50}, {13, 4}, {12, d.nnodes()}};
    return d;
}

// Assignments of the 72 elements of the sample to processes.
std::vector<int> slabs_x(const Deck& d, int np) {
    std::vector<int> part;
    for (int e = 0; e < d.nelements(); ++e) part.push_back((e % 6) * np / 6);
    return part;
}
std::vector<int> scattered(const Deck& d, int np) {
    std::vector<int> part;
    for (int e = 0; e < d.nelements(); ++e)
        part.push_back((e * 7) % np);  // every process when gcd(7, np) = 1
    return part;
}
std::vector<int> one_each(const Deck& d, int) {
    std::vector<int> part;
    for (int e = 0; e < d.nelements(); ++e) part.push_back(e);
    return part;
}

void check_partition(const Deck& g, const std::vector<int>& part, int np, const std::string& what) {
    SCOPED_TRACE(what);
    const partition::Partition P = partition::split_deck(g, part, np);
    ASSERT_EQ(P.nprocs, np);
    ASSERT_EQ(P.decks.size(), static_cast<size_t>(np));

    // Elements: each global element in exactly one deck, with the same
    // material and the same corner nodes.
    std::vector<int> seen(static_cast<size_t>(g.nelements()), 0);
    std::vector<std::set<int>> holders(static_cast<size_t>(g.nnodes()));
    for (int p = 0; p < np; ++p) {
        const Deck& d = P.decks[static_cast<size_t>(p)];
        const auto& ng = P.node_global[static_cast<size_t>(p)];
        const auto& eg = P.element_global[static_cast<size_t>(p)];
        ASSERT_EQ(d.nnodes(), static_cast<int>(ng.size()));
        ASSERT_EQ(d.nelements(), static_cast<int>(eg.size()));
        EXPECT_GT(d.nelements(), 0);
        for (int l = 0; l < d.nelements(); ++l) {
            const int e = eg[static_cast<size_t>(l)];
            ++seen[static_cast<size_t>(e - 1)];
            EXPECT_EQ(part[static_cast<size_t>(e - 1)], p);
            const auto& le = d.elements[static_cast<size_t>(l)];
            const auto& ge = g.elements[static_cast<size_t>(e - 1)];
            EXPECT_EQ(le.mat, ge.mat);
            for (int k = 0; k < 8; ++k)
                EXPECT_EQ(ng[static_cast<size_t>(le.node[static_cast<size_t>(k)] - 1)],
                          ge.node[static_cast<size_t>(k)]);
        }
        for (int l = 0; l < d.nnodes(); ++l) {
            const int n = ng[static_cast<size_t>(l)];
            EXPECT_EQ(d.nodes[static_cast<size_t>(l)], g.nodes[static_cast<size_t>(n - 1)]);
            holders[static_cast<size_t>(n - 1)].insert(p);
        }
        // Run control and material data go everywhere.
        EXPECT_EQ(d.title, g.title);
        EXPECT_EQ(d.endtime, g.endtime);
        EXPECT_EQ(d.outtime, g.outtime);
        EXPECT_EQ(d.report, g.report);
        EXPECT_EQ(d.rigid->dir, g.rigid->dir);
        EXPECT_EQ(d.timetable->size(), g.timetable->size());
        EXPECT_EQ(d.materials.size(), g.materials.size());
        EXPECT_EQ(d.seos.size(), g.seos.size());
        // Each deck is valid and reads back to itself.
        const Deck r = formats::parse_deck(formats::deck_text(d), formats::deck_name(p));
        EXPECT_EQ(r.nelements(), d.nelements());
        EXPECT_EQ(formats::node_components(r), formats::node_components(d));
    }
    for (int e = 0; e < g.nelements(); ++e)
        EXPECT_EQ(seen[static_cast<size_t>(e)], 1) << "element " << e + 1;
    for (int n = 0; n < g.nnodes(); ++n)
        EXPECT_FALSE(holders[static_cast<size_t>(n)].empty()) << "node " << n + 1 << " lost";

    // Shared nodes: every pair of holders lists the node, both lists in
    // increasing global order so that they pair the same nodes; a node of one
    // process is in no list.
    std::vector<int> shared;
    for (int n = 0; n < g.nnodes(); ++n)
        if (holders[static_cast<size_t>(n)].size() > 1) shared.push_back(n + 1);
    ASSERT_EQ(P.ncomde, static_cast<int>(shared.size()));
    std::vector<std::set<int>> listed(static_cast<size_t>(g.nnodes()));
    auto global_of = [&](int p, int local) {
        return P.node_global[static_cast<size_t>(p)][static_cast<size_t>(local - 1)];
    };
    for (int p = 0; p < np; ++p) {
        const auto& nb = P.neighbours[static_cast<size_t>(p)];
        ASSERT_EQ(nb.start.size(), nb.proc.size() + 1);
        for (size_t i = 0; i < nb.proc.size(); ++i) {
            const int q = nb.proc[i];
            if (i > 0) { EXPECT_LT(nb.proc[i - 1], q); }
            const auto& nq = P.neighbours[static_cast<size_t>(q)];
            const auto at = std::find(nq.proc.begin(), nq.proc.end(), p);
            ASSERT_NE(at, nq.proc.end()) << q << " does not list " << p;
            const size_t iq = static_cast<size_t>(at - nq.proc.begin());
            ASSERT_EQ(nq.start[iq + 1] - nq.start[iq], nb.start[i + 1] - nb.start[i]);
            for (int e = nb.start[i]; e < nb.start[i + 1]; ++e) {
                const int gp = global_of(p, nb.node[static_cast<size_t>(e)]);
                const int gq =
                    global_of(q, nq.node[static_cast<size_t>(nq.start[iq] + e - nb.start[i])]);
                EXPECT_EQ(gp, gq) << "entry " << e << " of " << p << " for " << q;
                if (e > nb.start[i]) {
                    EXPECT_LT(global_of(p, nb.node[static_cast<size_t>(e - 1)]), gp);
                }
                EXPECT_TRUE(holders[static_cast<size_t>(gp - 1)].count(q));
                listed[static_cast<size_t>(gp - 1)].insert(p);
                listed[static_cast<size_t>(gp - 1)].insert(q);
            }
        }
    }
    for (int n : shared)
        EXPECT_EQ(listed[static_cast<size_t>(n - 1)], holders[static_cast<size_t>(n - 1)])
            << "node " << n;
    // The solver's reader reads each process's section back, and the dense
    // table's row of each process holds its local numbers of the slots.
    {
        const std::string sparse = partition::comm_text(P), dense = partition::dense_comm_text(P);
        for (int p = 0; p < np; ++p) {
            std::istringstream in(sparse);
            commnodes::CommPart t;
            ASSERT_EQ(commnodes::readcommpart(in, np, p, t), "");
            EXPECT_EQ(t.neighbours.proc, P.neighbours[static_cast<size_t>(p)].proc);
            EXPECT_EQ(t.neighbours.node, P.neighbours[static_cast<size_t>(p)].node);
            std::istringstream din(dense);
            ASSERT_EQ(commnodes::readcommpart(din, np, p, t), "");
            ASSERT_EQ(t.ncomde, P.ncomde);
            for (int j = 0; j < P.ncomde; ++j) {
                const int l = t.row[static_cast<size_t>(j)];
                const int n = shared[static_cast<size_t>(j)];
                if (holders[static_cast<size_t>(n - 1)].count(p)) {
                    ASSERT_GT(l, 0);
                    EXPECT_EQ(global_of(p, l), n);
                    EXPECT_EQ(P.decks[static_cast<size_t>(p)].nodes[static_cast<size_t>(l - 1)],
                              g.nodes[static_cast<size_t>(n - 1)]);
                } else {
                    EXPECT_EQ(l, 0);
                }
            }
        }
    }

    // Loads summed over the copies equal the global loads; velocities agree
    // on every copy.
    const auto gload = formats::apply_records(g, g.loads);
    const auto gvel = formats::apply_records(g, g.velocities);
    std::vector<std::array<double, 3>> sum(static_cast<size_t>(g.nnodes()), {0, 0, 0});
    for (int p = 0; p < np; ++p) {
        const Deck& d = P.decks[static_cast<size_t>(p)];
        const auto lload = formats::apply_records(d, d.loads);
        const auto lvel = formats::apply_records(d, d.velocities);
        for (int l = 0; l < d.nnodes(); ++l) {
            const int n = P.node_global[static_cast<size_t>(p)][static_cast<size_t>(l)];
            for (int i = 0; i < 3; ++i)
                sum[static_cast<size_t>(n - 1)][static_cast<size_t>(i)] +=
                    lload[static_cast<size_t>(l)][static_cast<size_t>(i)];
            EXPECT_EQ(lvel[static_cast<size_t>(l)], gvel[static_cast<size_t>(n - 1)])
                << "velocity of node " << n << " on " << p;
        }
    }
    for (int n = 0; n < g.nnodes(); ++n)
        EXPECT_EQ(sum[static_cast<size_t>(n)], gload[static_cast<size_t>(n)])
            << "load of node " << n + 1;

    // Components: the local members of each global component, in order,
    // among the components present.
    for (int p = 0; p < np; ++p) {
        const Deck& d = P.decks[static_cast<size_t>(p)];
        const auto& ng = P.node_global[static_cast<size_t>(p)];
        std::vector<std::vector<int>> want;
        for (const auto& members : g.components) {
            std::vector<int> here;
            for (int n : members)
                if (std::binary_search(ng.begin(), ng.end(), n)) here.push_back(n);
            if (!here.empty()) want.push_back(here);
        }
        std::vector<std::vector<int>> got;
        for (const auto& members : d.components) {
            std::vector<int> gl;
            for (int l : members) gl.push_back(ng[static_cast<size_t>(l - 1)]);
            got.push_back(gl);
        }
        EXPECT_EQ(got, want) << "components of process " << p;
    }

    for (const Deck& d : P.decks) {  // switches of the run
        EXPECT_EQ(d.midstep, g.midstep);
        EXPECT_EQ(d.corrected, g.corrected);
        EXPECT_EQ(d.consistent, g.consistent);
        EXPECT_EQ(d.vonmises, g.vonmises);
        EXPECT_EQ(d.solvermath, g.solvermath);
    }

    // Curves: element curves once, on the element's process; node curves
    // once, on the lowest process holding the node; energies everywhere.
    std::map<int, int> element_curves;  // global curve index -> copies
    for (int p = 0; p < np; ++p) {
        const Deck& d = P.decks[static_cast<size_t>(p)];
        size_t k = 0;
        for (size_t i = 0; i < g.curves.size(); ++i) {
            const auto& gc = g.curves[i];
            if (formats::curve_at_element(gc.option)) {
                if (part[static_cast<size_t>(gc.element - 1)] != p) continue;
                ASSERT_LT(k, d.curves.size());
                EXPECT_EQ(d.curves[k].option, gc.option);
                EXPECT_EQ(P.element_global[static_cast<size_t>(p)]
                                          [static_cast<size_t>(d.curves[k].element - 1)],
                          gc.element);
                ++element_curves[static_cast<int>(i)];
            } else if (formats::curve_at_node(gc.option)) {
                if (*holders[static_cast<size_t>(gc.element - 1)].begin() != p) continue;
                ASSERT_LT(k, d.curves.size());
                EXPECT_EQ(d.curves[k].option, gc.option);
                EXPECT_EQ(P.node_global[static_cast<size_t>(p)]
                                       [static_cast<size_t>(d.curves[k].element - 1)],
                          gc.element);
                ++element_curves[static_cast<int>(i)];
            } else {
                ASSERT_LT(k, d.curves.size());
                EXPECT_EQ(d.curves[k].option, gc.option);
            }
            ++k;
        }
        EXPECT_EQ(k, d.curves.size());
    }
    for (size_t i = 0; i < g.curves.size(); ++i)
        if (formats::curve_at_element(g.curves[i].option) ||
            formats::curve_at_node(g.curves[i].option)) {
            EXPECT_EQ(element_curves[static_cast<int>(i)], 1);
        }

    // The map file reads back, through the export's checked reader, to the
    // same numbering.
    testutil::TempDir dir("split");
    const std::string mapfile = (dir / "hexdyn.map").string();
    formats::write_text_file(mapfile,
                             formats::map_text(partition::map_of(P, g.nnodes(), g.nelements())));
    const formats::Map m = formats::read_map(mapfile);
    ASSERT_EQ(m.procs.size(), static_cast<size_t>(np));
    EXPECT_EQ(m.nodes, g.nnodes());
    EXPECT_EQ(m.elements, g.nelements());
    for (int p = 0; p < np; ++p) {
        const formats::MapProcess& mp = m.procs[static_cast<size_t>(p)];
        EXPECT_EQ(mp.id, p);
        EXPECT_EQ(mp.deck, formats::deck_name(p));
        const auto& ng = P.node_global[static_cast<size_t>(p)];
        const auto& eg = P.element_global[static_cast<size_t>(p)];
        EXPECT_EQ(mp.node_global, std::vector<long long>(ng.begin(), ng.end()));
        EXPECT_EQ(mp.element_global, std::vector<long long>(eg.begin(), eg.end()));
    }
}

}  // namespace

TEST(Partition, InvariantsHoldForEveryAssignment) {
    const Deck g = sample_deck();
    check_partition(g, std::vector<int>(static_cast<size_t>(g.nelements()), 0), 1, "one process");
    check_partition(g, slabs_x(g, 2), 2, "two slabs");
    check_partition(g, slabs_x(g, 3), 3, "three slabs");
    check_partition(g, scattered(g, 4), 4, "scattered over four");
    check_partition(g, scattered(g, 30), 30, "scattered over thirty");
    check_partition(g, one_each(g, g.nelements()), g.nelements(), "one element each");
}

TEST(Partition, OneProcessHasAnEmptyExchange) {
    const Deck g = sample_deck();
    const auto P =
        partition::split_deck(g, std::vector<int>(static_cast<size_t>(g.nelements()), 0), 1);
    EXPECT_EQ(partition::comm_text(P), "sparse 1\nprocess 0 neighbours 0\n");
    EXPECT_EQ(partition::dense_comm_text(P), "0\n\n");
    // The single deck is the whole model.
    EXPECT_EQ(P.decks[0].nnodes(), g.nnodes());
    EXPECT_EQ(P.decks[0].loads.size(), g.loads.size());
}

TEST(Partition, LoadsOnSharedNodesAreCancelledOnHigherProcesses) {
    const Deck g = sample_deck();
    const auto part = slabs_x(g, 2);
    const auto P = partition::split_deck(g, part, 2);
    // Process 1 holds the shared top-face nodes too; their load stays on process 0.
    const auto l1 = formats::apply_records(P.decks[1], P.decks[1].loads);
    int cancelled = 0;
    ASSERT_EQ(P.neighbours[1].proc, (std::vector<int>{0}));
    for (int local : P.neighbours[1].node) {
        const int global = P.node_global[1][static_cast<size_t>(local - 1)];
        const auto& x = g.nodes[static_cast<size_t>(global - 1)];
        if (x[2] == 0.03) {
            EXPECT_EQ(l1[static_cast<size_t>(local - 1)], (std::array<double, 3>{0, 0, 0}));
            ++cancelled;
        }
    }
    EXPECT_EQ(cancelled, 5);  // the line of shared nodes on the top face
}

// A driven face goes with its nodes; every process takes part in the force
// of a component, named by its number in the whole model, 0 where the
// process holds none of its nodes; the functions go everywhere.
TEST(Partition, DrivenFacesGoWithTheirNodesAndForcesEverywhere) {
    Deck g = sample_deck();
    g.functions = {{2, {{0.0, 0.0}, {1.0, 1.0}}}};
    g.drives = {{5, 1, false, 2, 3.0}};  // x = xmax, only in the upper slab
    g.reactions = {{4, 4}, {5, 5}};      // x = xmin and x = xmax
    const auto P = partition::split_deck(g, slabs_x(g, 2), 2);
    for (int p = 0; p < 2; ++p) {
        const Deck& d = P.decks[static_cast<size_t>(p)];
        SCOPED_TRACE(p);
        ASSERT_EQ(d.functions.size(), 1u);
        ASSERT_EQ(d.reactions.size(), 2u);
        EXPECT_EQ(d.reactions[0].name, 4);
        EXPECT_EQ(d.reactions[1].name, 5);
        EXPECT_EQ(d.reactions[0].comp != 0, p == 0);
        EXPECT_EQ(d.reactions[1].comp != 0, p == 1);
        EXPECT_EQ(d.drives.size(), p == 1 ? 1u : 0u);
        for (const formats::Drive& r : d.drives)
            EXPECT_EQ(d.components[static_cast<size_t>(r.comp - 1)].size(), g.components[4].size());
        // The process deck reads back as written ("reac 0 4" included).
        const std::string text = formats::deck_text(d);
        EXPECT_EQ(formats::deck_text(formats::parse_deck(text, "process")), text);
    }
}

TEST(Partition, RejectsImpossibleDivisions) {
    const Deck g = sample_deck();
    EXPECT_THROW(partition::split_deck(g, one_each(g, 0), g.nelements() + 1), formats::Error);
    EXPECT_THROW(
        partition::split_deck(g, std::vector<int>(static_cast<size_t>(g.nelements()), 0), 2),
        formats::Error);  // process 1 would be empty
    EXPECT_THROW(partition::split_deck(g, std::vector<int>(3, 0), 1), formats::Error);
}

TEST(Rebalance, BringsEveryProcessWithinBounds) {
    const Deck g = sample_deck();
    const auto graph = partition::face_graph(g);
    // Interior elements have 6 face neighbours, corner elements 3.
    EXPECT_EQ(graph.xadj.back(), 2 * (5 * 4 * 3 + 6 * 3 * 3 + 6 * 4 * 2));
    struct Case {
        const char* name;
        std::vector<int> part;
        int np;
    };
    std::vector<int> lopsided = slabs_x(g, 3);
    for (size_t e = 0; e < lopsided.size(); e += 2) lopsided[e] = 0;
    const Case cases[] = {
        {"all on process 0", std::vector<int>(72, 0), 3},
        {"one empty process", slabs_x(g, 2), 5},
        {"lopsided", lopsided, 3},
        {"as many processes as elements", std::vector<int>(72, 0), 72},
        {"already balanced", slabs_x(g, 3), 3},
    };
    for (const Case& c : cases) {
        std::vector<int> part = c.part;
        const int moved = partition::rebalance(graph, part, c.np);
        std::vector<int> count(static_cast<size_t>(c.np), 0);
        for (int p : part) ++count[static_cast<size_t>(p)];
        const int upper = partition::balance_upper(72, c.np),
                  lower = partition::balance_lower(72, c.np);
        for (int p = 0; p < c.np; ++p) {
            EXPECT_LE(count[static_cast<size_t>(p)], upper) << c.name;
            EXPECT_GE(count[static_cast<size_t>(p)], lower) << c.name;
            EXPECT_GE(count[static_cast<size_t>(p)], 1) << c.name;
        }
        if (std::string(c.name) == "already balanced") { EXPECT_EQ(moved, 0); }
    }
}

TEST(Rebalance, BoundsAreThreePercentOrTheNearestWholeCount) {
    struct Case {
        int ne, np, lower, upper;
    };
    const Case cases[] = {
        {1000, 4, 243, 257},  // 250 +- 3%
        {200, 3, 65, 68},     // mean 66.7
        {10, 3, 3, 4},        // too small for 3%: 3 or 4
        {7, 7, 1, 1},        {100000, 7, 13858, 14714},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(partition::balance_lower(c.ne, c.np), c.lower) << c.ne << "/" << c.np;
        EXPECT_EQ(partition::balance_upper(c.ne, c.np), c.upper) << c.ne << "/" << c.np;
    }
}

// A contact block goes to every process unchanged, and each process deck
// then names, in "glob", the global numbers that the map gives its nodes and
// elements; without contact the decks have none.
TEST(Partition, ContactDecksCarryTheirGlobalNumbers) {
    Deck g = sample_deck();
    for (const bool contact : {false, true}) {
        if (contact) {
            g.contact = formats::Contact{
                0.2, formats::Friction{0.3, 0.2, 0.0}, {{2}}, {{1, 2}}, {{1, 2, 5.0}}, {}};
        }
        const auto P = partition::split_deck(g, scattered(g, 4), 4);
        const formats::Map map = formats::read_map_text(
            formats::map_text(partition::map_of(P, g.nnodes(), g.nelements())), "hexdyn.map");
        for (int p = 0; p < 4; ++p) {
            SCOPED_TRACE("process " + std::to_string(p) + (contact ? ", contact" : ""));
            const std::string text = formats::deck_text(P.decks[static_cast<size_t>(p)]);
            const Deck d = formats::parse_deck(text, formats::deck_name(p));
            EXPECT_EQ(
                text.find("cont\nscal 0.2\nfric 0.3 0.2 0\npart 2\npair 1 2\npsca 1 2 5\nendc\n") !=
                    std::string::npos,
                contact);
            if (!contact) {
                EXPECT_TRUE(d.node_global.empty() && d.element_global.empty());
                continue;
            }
            const formats::MapProcess& m = map.procs[static_cast<size_t>(p)];
            EXPECT_EQ(std::vector<long long>(d.node_global.begin(), d.node_global.end()),
                      m.node_global);
            EXPECT_EQ(std::vector<long long>(d.element_global.begin(), d.element_global.end()),
                      m.element_global);
            // Local node l stands where its global node does.
            for (int l = 0; l < d.nnodes(); ++l)
                for (size_t k = 0; k < 3; ++k)
                    EXPECT_EQ(d.nodes[static_cast<size_t>(l)][k],
                              formats::to_single(g.nodes[static_cast<size_t>(
                                  d.node_global[static_cast<size_t>(l)] - 1)][k]));
        }
    }
}
