// What the runaway stops judge: the node a runaway of the kinetic energy is
// laid to (control/guard.cpp).
#include <gtest/gtest.h>

#include <cstddef>
#include <utility>
#include <vector>

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
