#include <gtest/gtest.h>

#include "testutil.hpp"

using namespace testutil;

TEST(Smoke, MissingCommStopsWithMessageAndNonZeroExit) {
    TempDir dir("smoke");
    RunResult r = run_hexdyn(dir.path(), 1, 60);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" Open file error!!!"), std::string::npos) << r.out;
}
