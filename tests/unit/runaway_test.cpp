// What the runaway stops judge: the node a runaway of the kinetic energy is
// laid to (control/guard.cpp) and when the energy balance's mismatch means a
// run has run away (control/energy.cpp).
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "control/energy.hpp"
#include "control/guard.hpp"
#include "control/process.hpp"
#include "model/model.hpp"

namespace {

// Two bricks without common nodes (nodes 1-8 and 9-16) and node 17 in no
// element, every node at rest; the bricks' nodes have mass 1, node 17 none.
void twobricks(bool fail, bool erodesecond) {
    process::reset();
    particledata::nb_particle = 17;
    particledata::vel.assign(51, 0.0);
    particledata::fp.assign(51, 0.0);
    particledata::mp.assign(17, 1.0);
    particledata::mp[16] = 0.0;
    elementdata::nb_element = 2;
    elementdata::element_list = {{{1, 2, 3, 4, 5, 6, 7, 8}, 1, 1},
                                 {{9, 10, 11, 12, 13, 14, 15, 16}, 1, 2}};
    failuredata::on = fail;
    failuredata::eroded = {0, static_cast<char>(erodesecond ? 1 : 0)};
}

struct RunawayCase {
    const char* name;
    bool fail, erodesecond;
    std::vector<std::pair<int, double>> speed;  // node, speed along x
    std::vector<int> loaded;                    // nodes with a load along x
    int node;                                   // the node the runaway is laid to
    bool loose;
};

}  // namespace

TEST(RunawayNode, IsTheFastestNodeThatAnElementOrALoadDrives) {
    const RunawayCase cases[] = {
        {"held, fastest", true, false, {{3, 10.0}, {12, 5.0}}, {}, 3, false},
        {"no mass: keeps its speed", true, false, {{3, 10.0}, {17, 1e8}}, {17}, 3, false},
        {"loaded, element eroded", true, true, {{3, 10.0}, {10, 20.0}}, {10}, 10, true},
        {"unloaded, element eroded: flies on", true, true, {{3, 10.0}, {11, 50.0}}, {10}, 3, false},
        {"loaded, element holds it", true, false, {{3, 10.0}, {10, 20.0}}, {10}, 10, false},
        {"without fail nothing is loose", false, true, {{10, 20.0}}, {10}, 10, false},
    };
    for (const RunawayCase& c : cases) {
        SCOPED_TRACE(c.name);
        twobricks(c.fail, c.erodesecond);
        for (const auto& [k, s] : c.speed)
            particledata::vel[3 * static_cast<std::size_t>(k - 1)] = s;
        for (const int k : c.loaded) particledata::fp[3 * static_cast<std::size_t>(k - 1)] = -4.0;
        guard::holders();
        bool loose = !c.loose;
        EXPECT_EQ(guard::runawaynode(loose), c.node);
        EXPECT_EQ(loose, c.loose);
    }
    process::reset();
}

namespace {

struct BalanceCase {
    const char* name;
    // Per record: initial energy plus work of the loads, and the mismatch.
    std::vector<std::pair<double, double>> records;
    int stop;  // the record (from 0) at which the run has run away, -1 none
};

}  // namespace

TEST(BalanceRunaway, StopsWhereTheMismatchBurstsOrKeepsGrowing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const BalanceCase cases[] = {
        {"ringing: off by 3 at once, staying", {{1, 0}, {1, -2.9}, {1, -3.07}, {1, -3.3}}, -1},
        {"burst within one record", {{1, 0}, {1, 22.6}}, 1},
        {"just below a burst", {{1, 0}, {1, 9.9}, {1, 9.9}}, -1},
        {"off, then more than doubled", {{1, 0}, {1, -1.5}, {1, 3.5}}, 2},
        {"growing without doubling", {{1, 0}, {1, 2}, {1, 3.5}, {1, 5}}, -1},
        {"doubled from a record not off", {{1, 0}, {1, 0.9}, {1, 1.9}}, -1},
        {"loads' work swings back", {{1e-2, -2e-4}, {4e-4, -5e-4}, {3e-4, -4e-3}}, -1},
        {"reference grows with the work", {{1, 0}, {40, 30}, {100, 70}}, -1},
        {"nothing given: joules", {{0, 0}, {0, 0.5}, {0, 0.9}}, -1},
        {"nothing given, 11 J made", {{0, 0}, {0, 11}}, 1},
        {"not finite", {{1, 0}, {1, nan}}, 1},
    };
    for (const BalanceCase& c : cases) {
        SCOPED_TRACE(c.name);
        energy::watch w;
        int stop = -1;
        for (std::size_t i = 0; i < c.records.size() && stop < 0; ++i) {
            energy::balance b{};
            b.initial = c.records[i].first;
            b.total = c.records[i].first + c.records[i].second;
            if (energy::ranaway(w, b)) stop = static_cast<int>(i);
        }
        EXPECT_EQ(stop, c.stop);
    }
}
