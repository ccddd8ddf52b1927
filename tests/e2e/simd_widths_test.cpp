// Whole runs of the solver give the same files, byte for byte, whatever
// SIMD width the element pass runs at (HEXDYN_SIMD); widths the processor
// lacks are refused and skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testutil.hpp"

using namespace testutil;

namespace {

// Every file a run leaves in its directory, by name.
std::vector<std::pair<std::string, std::string>> files_of(const fs::path& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files.emplace_back(entry.path().filename().string(), read_file(entry.path()));
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(SimdWidths, WholeRunsGiveTheScalarFiles) {
    // 60 elements (batches of 8 leave 4 over) hitting a rigid plane.
    const std::string common =
        " --nx 5 --ny 4 --nz 3 --lx 5e-3 --ly 4e-3 --lz 3e-3 --origin 0,0,1e-4 --endtime 3e-5 "
        "--outtime 3e-6"
        " --report 50 --velocity 1,10,0,-150 --rigid 3,0.0 --comm --curve seqv,7 --curve epef,31 "
        "--curve engs";
    const std::string models[] = {
        "--material \"john 7850 2e11 0.3 3.5e8 2.75e8 0.36 0.022\" --seos \"4569 1.49 2.17\" "
        "--hourglass 2,0.1",
        "--material \"pla2 7850 2e11 0.3 3.5e8 1e9\" --hourglass 1,0.1 --jaumann off",
    };
    for (const std::string& model : models) {
        SCOPED_TRACE(model);
        std::vector<std::pair<std::string, std::string>> ref;
        for (const char* width : {"scalar", "sse2", "avx2", "avx512"}) {
            SCOPED_TRACE(width);
            TempDir dir(std::string("simd-") + width);
            RunResult r =
                run_command(exe("hexdyn-mesh") + " box " + model + common, dir.path(), 60);
            ASSERT_EQ(r.status, 0) << r.out;
            r = run_command(
                std::string("HEXDYN_SIMD=") + width + " " + mpiexec() + " -n 1 " + exe("hexdyn"),
                dir.path(), 120);
            if (r.status != 0 && r.out.find("this processor does not support") != std::string::npos)
                continue;
            ASSERT_EQ(r.status, 0) << r.out;
            const auto files = files_of(dir.path());
            if (ref.empty()) {
                ref = files;
                EXPECT_GE(ref.size(), 5u);
                continue;
            }
            ASSERT_EQ(files.size(), ref.size());
            for (size_t i = 0; i < files.size(); ++i) {
                EXPECT_EQ(files[i].first, ref[i].first);
                EXPECT_TRUE(files[i].second == ref[i].second) << files[i].first << " differs";
            }
        }
    }
}
