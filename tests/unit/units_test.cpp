// The result file units (output/units.cpp).
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

TEST_F(OutputFiles, FailedWriteStopsNamingTheFile) {
    ffi::textout& u = ffi::unit(ffi::iow1);
    ASSERT_TRUE(u.open("/dev/full"));
    setcube();
    outanim(0.0);
    testing::internal::CaptureStdout();
    EXPECT_THROW(u.close(), errorstop::stop_exception);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " *** Error *** writing file /dev/full failed: No space left on device\n");
    EXPECT_FALSE(u.is_open());
}

}  // namespace
