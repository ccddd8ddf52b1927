// The candidate lists after an erosion, updated only where the surface has
// changed, against a search from scratch at the same positions: they hold
// every pair the search lists within the margin not yet spent, and nothing
// that is not near its face. Also the contact section of a checkpoint.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "contact/contact.hpp"
#include "contact/surface.hpp"
#include "control/process.hpp"
#include "model/model.hpp"

namespace {

constexpr double mm = 1e-3;

// A 4 x 4 x 2 slab of 1 mm elements (z from -2 to 0 mm) and a 2 x 2 x 1
// block (1 mm elements) above its middle, `gap` above it.
void twobodies(double gap) {
    process::reset();
    std::vector<double> x;
    std::vector<element>& el = elementdata::element_list;
    el.clear();
    const auto body = [&](int nx, int ny, int nz, double x0, double y0, double z0) {
        const int first = static_cast<int>(x.size() / 3) + 1;
        for (int k = 0; k <= nz; ++k)
            for (int j = 0; j <= ny; ++j)
                for (int i = 0; i <= nx; ++i)
                    x.insert(x.end(), {(x0 + i) * mm, (y0 + j) * mm, z0 + k * mm});
        const auto node = [&](int i, int j, int k) {
            return first + i + (nx + 1) * (j + (ny + 1) * k);
        };
        for (int k = 0; k < nz; ++k)
            for (int j = 0; j < ny; ++j)
                for (int i = 0; i < nx; ++i)
                    el.push_back({{node(i, j, k), node(i + 1, j, k), node(i + 1, j + 1, k),
                                   node(i, j + 1, k), node(i, j, k + 1), node(i + 1, j, k + 1),
                                   node(i + 1, j + 1, k + 1), node(i, j + 1, k + 1)},
                                  1,
                                  static_cast<int>(el.size()) + 1});
    };
    body(4, 4, 2, 0.0, 0.0, -2 * mm);
    body(2, 2, 1, 1.0, 1.0, gap);
    const std::size_t n = x.size() / 3;
    particledata::nb_particle = static_cast<int>(n);
    particledata::pos = x;
    particledata::vel.assign(3 * n, 0.0);
    particledata::acc.assign(3 * n, 0.0);
    particledata::mp.assign(n, 1e-6);
    elementdata::nb_element = static_cast<int>(el.size());
    material m{};
    m.density = 7800.0;
    m.young = 2e11;
    m.poisson = 0.3;
    materialdata::mat_list = {m};
    materialdata::history_list.assign(el.size(), history{});
    for (history& h : materialdata::history_list) h.vol0 = mm * mm * mm;
    elementdata::contact = contactcontrol{};
    elementdata::contact.on = true;
    elementdata::contact.scale = 0.1;
    failuredata::on = true;
    failuredata::eroded.assign(el.size(), 0);
    failuredata::anyeroded = false;
    failuredata::neroded = failuredata::nerodedjob = 0;
}

// Slab element (i, j) of layer k (0 the lower one).
int slab(int i, int j, int k) { return i + 4 * (j + 4 * k); }

void erode(const std::vector<int>& elements) {
    for (const int e : elements) failuredata::eroded[static_cast<std::size_t>(e)] = 1;
    failuredata::anyeroded = true;
    failuredata::neroded += static_cast<int>(elements.size());
    failuredata::nerodedjob = failuredata::neroded;
}

// Whether node `gid` lies in the box of face `code` widened by `pad`.
bool near(long long gid, long long code, double pad) {
    const element& e = elementdata::element_list[static_cast<std::size_t>(code / 8 - 1)];
    const double* x = particledata::pos.data();
    const double* p = x + 3 * (gid - 1);
    for (int c = 0; c < 3; ++c) {
        double lo = 1e300, hi = -1e300;
        for (int k = 0; k < 4; ++k) {
            const double v = x[3 * (e.node[contact::hexfaces[code % 8][k]] - 1) + c];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        if (p[c] < lo - pad || p[c] > hi + pad) return false;
    }
    return true;
}

}  // namespace

TEST(ContactUpdate, ListsAfterErosionHoldWhatASearchFromScratchFindsWithinTheMarginLeft) {
    struct Step {
        const char* what;
        double dx, dz;            // the block moves by this (mm)
        std::vector<int> eroded;  // then these slab elements erode
        bool searched;            // a search from scratch is expected, not an update
    };
    const Step steps[] = {
        {"under the block's corner: new faces and nodes", 0.0, -0.05, {slab(1, 1, 1)}, false},
        {"its neighbour, after a slide", 0.05, 0.0, {slab(2, 1, 1)}, false},
        {"the element under the first: the hole goes through", 0.0, -0.05, {slab(1, 1, 0)}, false},
        {"a corner of the slab, far from the block", 0.02, 0.0, {slab(0, 3, 1)}, false},
        {"after a move of more than half the margin", 0.0, -0.5, {slab(2, 2, 1)}, true},
        {"right after that search", 0.0, -0.01, {slab(1, 2, 1)}, false},
    };
    const double gap = 0.3 * mm;
    const double depth = 0.5 * mm;  // half a 1 mm element
    twobodies(gap);
    contact::surface cs;
    contact::start(cs, false);
    std::vector<std::vector<std::array<long long, 2>>> lists;
    std::vector<double> left, spent, positions[6];
    for (std::size_t s = 0; s < std::size(steps); ++s) {
        const Step& st = steps[s];
        for (int k = 5 * 5 * 3; k < particledata::nb_particle; ++k) {  // the block's nodes
            particledata::pos[3 * static_cast<std::size_t>(k)] += st.dx * mm;
            particledata::pos[3 * static_cast<std::size_t>(k) + 2] += st.dz * mm;
        }
        double largest[contact::motionvalues];
        contact::motion(cs, largest);
        const long long before = contact::stats(cs).updates;
        erode(st.eroded);
        contact::rebuild(cs, contact::closing(largest));
        EXPECT_EQ(contact::stats(cs).updates == before, st.searched) << st.what;
        lists.push_back(contact::candidatepairs(cs));
        const contact::statistics c = contact::stats(cs);
        left.push_back(c.margin - c.spent);
        spent.push_back(c.spent);
        positions[s] = particledata::pos;
    }
    EXPECT_EQ(contact::stats(cs).margin, 2.0 * depth);

    // The same states met from scratch.
    std::vector<int> gone;
    for (std::size_t s = 0; s < std::size(steps); ++s) {
        SCOPED_TRACE(steps[s].what);
        gone.insert(gone.end(), steps[s].eroded.begin(), steps[s].eroded.end());
        twobodies(gap);
        particledata::pos = positions[s];
        erode(gone);
        contact::surface again;
        contact::start(again, false);
        const std::vector<std::array<long long, 2>> fresh = contact::candidatepairs(again);
        const std::set<std::array<long long, 2>> kept(lists[s].begin(), lists[s].end());
        const std::set<std::array<long long, 2>> found(fresh.begin(), fresh.end());
        EXPECT_EQ(kept.size(), lists[s].size()) << "a pair listed twice";
        int missing = 0, far = 0;
        for (const auto& p : found)
            if (near(p[0], p[1], depth + left[s]) && !kept.contains(p)) missing += 1;
        for (const auto& p : kept)
            if (!found.contains(p) && !near(p[0], p[1], depth + 2.0 * depth + spent[s])) far += 1;
        EXPECT_EQ(missing, 0) << "pairs the search lists within the margin left";
        EXPECT_EQ(far, 0) << "pairs no search would have listed";
        if (steps[s].searched) { EXPECT_EQ(kept, found); }
    }
    process::reset();
}

// The checkpoint's contact section keeps the layout stored checkpoints have
// (the work, every node's starting depth, every node's hold code), and a
// state restored from it writes it back unchanged.
TEST(ContactCheckpoint, SectionKeepsTheStoredLayout) {
    // The block 1 um into the slab, within the stop depth: its nine lower
    // nodes and the nine slab nodes under them are held where they start,
    // at their starting depth.
    twobodies(-1e-3 * mm);
    contact::surface started;
    contact::start(started, true);
    const std::size_t n = static_cast<std::size_t>(particledata::nb_particle);
    const std::vector<double> section = contact::saved(started, 12.5);
    ASSERT_EQ(section.size(), 1 + 2 * n);
    EXPECT_EQ(section[0], 12.5);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = k % 5, j = k / 5 % 5;
        const bool under = k / 25 == 2 && i >= 1 && i <= 3 && j >= 1 && j <= 3;
        constexpr std::size_t block =
            75;  // the block's first node (after the slab's 5 x 5 x 3), 0-based
        const bool inside = under || (k >= block && k < block + 9);
        EXPECT_EQ(section[1 + k] != 0.0, inside) << "node " << k + 1;
        if (inside) { EXPECT_NEAR(section[1 + k], -1e-6, 1e-12); }
        EXPECT_EQ(section[1 + n + k], 0.0) << "no face holds a node before the first step";
    }
    contact::surface restored;
    contact::prepare(restored);
    ASSERT_EQ(contact::savedsize(restored), section.size());
    EXPECT_EQ(contact::restore(restored, section), 12.5);
    EXPECT_EQ(contact::saved(restored, 12.5), section);
    process::reset();
}
