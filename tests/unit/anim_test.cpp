// The animation file zone by zone (output/anim.cpp).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "input/datain.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/anim.hpp"
#include "output/curve.hpp"
#include "output/units.hpp"
#include "outputcases.hpp"
#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;
using namespace outputcases;

namespace {

// ---------------------------------------------------------------------------
// Animation file.

TEST_F(OutputFiles, AnimationOfOneElement) {
    settitle("sovr one brick");
    setcube();
    outanim(0.0);
    particledata::pos[0] = -12.34;
    particledata::pos[1] = 1.5e-3;
    outanim(1.0e-3);
    const std::vector<std::string> a = lines_of(animtext());
    const std::string z = "  0.0000E+00", o = "  1.0000E+00";
    const std::vector<std::string> expect = {
        "TITLE = \"sovr one brick" + std::string(46, ' ') + "\"",
        "VARIABLES= \"X\"   \"Y\"   \"Z\"  ",
        "",
        "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN",
        z + z + z,
        o + z + z,
        o + o + z,
        z + o + z,
        z + z + o,
        o + z + o,
        o + o + o,
        z + o + o,
        "      1      2      3      4      5      6      7      8",
        "ZONE T=\"Time =  1.0000E-03\" F=FEPOINT N=    8 E=    1 ET=BRICK C=CYAN D=(FECONNECT)",
        " -1.2340E+01  1.5000E-03" + z,
        o + z + z,
        o + o + z,
        z + o + z,
        z + z + o,
        o + z + o,
        o + o + o,
        z + o + o,
    };
    EXPECT_EQ(a, expect);
    EXPECT_EQ(a[1].size(), 28u);
    EXPECT_EQ(dataout::nres, 2);
}

TEST_F(OutputFiles, AnimationConnectivityIsTheStoredCornerOrder) {
    particledata::nb_particle = 12;
    particledata::pos.assign(36, 0.0);
    setelements(2);
    const int c1[8] = {4, 3, 2, 1, 8, 7, 6, 5};
    const int c2[8] = {2, 9, 10, 3, 6, 11, 12, 1234567};
    for (int k = 0; k < 8; ++k) {
        elementdata::element_list[0].node[k] = c1[k];
        elementdata::element_list[1].node[k] = c2[k];
    }
    outanim(0.0);
    outanim(0.5);
    const std::vector<std::string> a = lines_of(animtext());
    ASSERT_EQ(a.size(), 3u + 1 + 12 + 2 + 1 + 12);
    EXPECT_EQ(a[3], "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=   12 E=    2 ET=BRICK C=CYAN");
    EXPECT_EQ(a[16], "      4      3      2      1      8      7      6      5");
    EXPECT_EQ(a[17], "      2      9     10      3      6     11     121234567");
    EXPECT_EQ(
        a[18],
        "ZONE T=\"Time =  5.0000E-01\" F=FEPOINT N=   12 E=    2 ET=BRICK C=CYAN D=(FECONNECT)");
}

TEST_F(OutputFiles, AnimationOfAProcessWithoutElements) {
    particledata::nb_particle = 1;
    particledata::pos = {1.0e100, -1.0e100, 9.99996e99};
    outanim(0.0);
    outanim(2.0);
    const std::vector<std::string> a = lines_of(animtext());
    ASSERT_EQ(a.size(), 7u);
    EXPECT_EQ(a[3], "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=    1 E=    0 ET=BRICK C=CYAN");
    EXPECT_EQ(a[4], "  1.0000+100 -1.0000+100  1.0000+100");
    EXPECT_EQ(
        a[5],
        "ZONE T=\"Time =  2.0000E+00\" F=FEPOINT N=    1 E=    0 ET=BRICK C=CYAN D=(FECONNECT)");
}

TEST_F(OutputFiles, LargeCountsFillTheirFieldsWithAsterisks) {
    particledata::nb_particle = 100000;
    particledata::pos.assign(300000, 0.0);
    outanim(0.0);
    const std::string text = animtext();
    const std::vector<std::string> a = lines_of(text.substr(0, 400));
    EXPECT_EQ(a[3], "ZONE T=\"Time =  0.0000E+00\" F=FEPOINT N=***** E=    0 ET=BRICK C=CYAN");
}

}  // namespace
