// Models and open result files for the tests of the curve and animation
// writers: elements whose history records are handed out in reverse order,
// a unit cube, and the fixture that opens the curve and animation units on
// files of a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "control/process.hpp"
#include "model/model.hpp"
#include "output/units.hpp"
#include "testutil.hpp"
#include "texts.hpp"

namespace outputcases {

using namespace testutil;

inline void settitle(const std::string& t) {
    simulation::title.fill(' ');
    std::memcpy(simulation::title.data(), t.data(), t.size() < 256 ? t.size() : 256);
}

// A model of `ne` elements whose history records are handed out in reverse
// order (element e has record ne + 1 - e), so that a lookup by element number
// instead of by history index shows.
inline void setelements(int ne) {
    elementdata::nb_element = ne;
    elementdata::element_list.assign(static_cast<size_t>(ne), element{});
    materialdata::history_list.assign(static_cast<size_t>(ne), history{});
    for (int e = 1; e <= ne; ++e) {
        element& el = elementdata::element_list[static_cast<size_t>(e - 1)];
        el.mat = 1;
        el.nhistory = ne + 1 - e;
        for (int k = 0; k < 8; ++k) el.node[k] = k + 1;
    }
}

inline history& historyof(int e) {
    const element& el = elementdata::element_list[static_cast<size_t>(e - 1)];
    return materialdata::history_list[static_cast<size_t>(el.nhistory - 1)];
}

inline void setcurves(const std::vector<std::pair<int, int>>& curves) {
    dataout::ncurves = static_cast<int>(curves.size());
    for (size_t i = 0; i < curves.size(); ++i) {
        dataout::curveoption[i] = curves[i].first;
        dataout::curvepoint[i] = curves[i].second;
    }
}

// Opens the curve and animation units on files of a temporary directory.
class OutputFiles : public ::testing::Test {
  protected:
    TempDir dir{"output"};
    void SetUp() override {
        process::reset();
        ASSERT_TRUE(ffi::unit(ffi::iow2).open((dir / "curv.dat").string()));
        ASSERT_TRUE(ffi::unit(ffi::iow1).open((dir / "anim.dat").string()));
    }
    void TearDown() override { process::reset(); }
    std::vector<std::string> curve() {
        ffi::unit(ffi::iow2).close();
        return lines_of(read_file(dir / "curv.dat"));
    }
    std::string animtext() {
        ffi::unit(ffi::iow1).close();
        return read_file(dir / "anim.dat");
    }
};

inline const std::string blanks60(60, ' ');

// Nodes of a unit cube, corner order.
inline void setcube() {
    particledata::nb_particle = 8;
    particledata::pos = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
    setelements(1);
}

}  // namespace outputcases
