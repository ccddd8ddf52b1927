#include <gtest/gtest.h>

#include "testutil.hpp"

using namespace testutil;

TEST(Smoke, MissingCommStopsWithMessageAndNonZeroExit) {
    TempDir dir("smoke");
    RunResult r = run_hexdyn(dir.path(), 1, 60);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" Open file error!!!\n *** Error *** cannot open the shared-node table "
                         "Comm: No such file or directory\n"),
              std::string::npos)
        << r.out;
}

// The solver refuses a SIMD width it cannot honour before its first step,
// with the reason and a non-zero exit, and runs with every known name that
// the processor supports.
TEST(Smoke, UnknownSimdWidthStopsWithMessageAndNonZeroExit) {
    TempDir dir("smoke-simd");
    const fs::path cube = fs::path(HEXDYN_SOURCE_DIR) / "examples" / "cube";
    fs::copy_file(cube / "a", dir / "a");
    fs::copy_file(cube / "Comm", dir / "Comm");
    RunResult r =
        run_command("HEXDYN_SIMD=avx1024 " + mpiexec() + " -n 1 " + exe("hexdyn"), dir.path(), 60);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(
        r.out.find(
            " *** Error *** HEXDYN_SIMD=avx1024: unknown width (scalar, sse2, avx2 or avx512)"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Step="), std::string::npos) << r.out;
    r = run_command("HEXDYN_SIMD=sse2 " + mpiexec() + " -n 1 " + exe("hexdyn"), dir.path(), 60);
    EXPECT_EQ(r.status, 0) << r.out;
}
