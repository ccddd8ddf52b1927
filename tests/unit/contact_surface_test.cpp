// The exterior faces of a process's elements kept as elements erode: after
// every erosion the kept matching gives the faces that a matching of all
// faces from scratch gives, whether it counted down from the start or first
// met the elements already eroded (a restart).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <vector>

#include "contact/surface.hpp"
#include "model/model.hpp"

namespace {

// A block of nx x ny x nz unit elements, then `copies` elements again on the
// nodes of the first ones (faces met three and four times).
void block(int nx, int ny, int nz, int copies) {
    const auto node = [&](int i, int j, int k) { return 1 + i + (nx + 1) * (j + (ny + 1) * k); };
    elementdata::element_list.clear();
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                elementdata::element_list.push_back(
                    {{node(i, j, k), node(i + 1, j, k), node(i + 1, j + 1, k), node(i, j + 1, k),
                      node(i, j, k + 1), node(i + 1, j, k + 1), node(i + 1, j + 1, k + 1),
                      node(i, j + 1, k + 1)},
                     1,
                     1});
    for (int c = 0; c < copies; ++c)
        elementdata::element_list.push_back(elementdata::element_list[static_cast<std::size_t>(c)]);
    elementdata::nb_element = static_cast<int>(elementdata::element_list.size());
    failuredata::eroded.assign(elementdata::element_list.size(), 0);
    failuredata::anyeroded = false;
}

// Element and side of every face met once among the elements still in the
// model, matched from scratch.
std::vector<std::array<int, 2>> fromscratch() {
    std::map<std::array<int, 4>, std::vector<std::array<int, 2>>> met;
    for (int e = 0; e < elementdata::nb_element; ++e) {
        if (failuredata::eroded[static_cast<std::size_t>(e)]) continue;
        for (int s = 0; s < 6; ++s) {
            std::array<int, 4> key{};
            for (int i = 0; i < 4; ++i)
                key[static_cast<std::size_t>(i)] =
                    elementdata::element_list[static_cast<std::size_t>(e)]
                        .node[contact::hexfaces[s][i]];
            std::sort(key.begin(), key.end());
            met[key].push_back({e, s});
        }
    }
    std::vector<std::array<int, 2>> once;
    for (const auto& [key, faces] : met)
        if (faces.size() == 1) once.push_back(faces[0]);
    std::sort(once.begin(), once.end());
    return once;
}

std::vector<std::array<int, 2>> kept(const contact::localexterior& known) {
    std::vector<std::array<int, 2>> out;
    for (const contact::face& f : known.faces()) {
        // Corners in the element's order, 0-based.
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(f.node[i], elementdata::element_list[static_cast<std::size_t>(f.element)]
                                         .node[contact::hexfaces[f.side][i]] -
                                     1);
        out.push_back({f.element, f.side});
    }
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end())) << "element and side order";
    return out;
}

}  // namespace

TEST(ContactSurface, KeptFacesAfterEachErosionAreThoseMatchedFromScratch) {
    struct Case {
        const char* what;
        int nx, ny, nz, copies;
        std::vector<std::vector<int>> erosions;  // elements eroded together, pass by pass
    };
    const Case cases[] = {
        {"a corner element", 3, 2, 2, 0, {{0}}},
        {"the inner element of a 3x3x3 block shows its six neighbours' faces", 3, 3, 3, 0, {{13}}},
        {"neighbours one after the other, then together", 3, 3, 3, 0, {{13}, {12}, {4, 22, 14}}},
        {"a whole column through the block", 1, 1, 4, 0, {{1, 2}, {0}, {3}}},
        {"every element", 2, 2, 1, 0, {{0, 1, 2, 3}}},
        {"elements on the nodes of others: a face met three times is inside until two go",
         2,
         1,
         1,
         2,
         {{2}, {0}, {3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        block(c.nx, c.ny, c.nz, c.copies);
        contact::localexterior counted;
        counted.update();
        EXPECT_EQ(kept(counted), fromscratch());
        for (const std::vector<int>& pass : c.erosions) {
            for (const int e : pass) failuredata::eroded[static_cast<std::size_t>(e)] = 1;
            failuredata::anyeroded = true;
            counted.update();
            EXPECT_EQ(kept(counted), fromscratch());
            // The same model met for the first time with these elements
            // eroded, as after a restart.
            contact::localexterior restarted;
            restarted.update();
            EXPECT_EQ(kept(restarted), fromscratch());
        }
    }
    elementdata::element_list.clear();
    elementdata::nb_element = 0;
    failuredata::eroded.clear();
    failuredata::anyeroded = false;
}
