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
    // Model, and a failure block put before the materials: damage coupled to
    // the flow stress, which weakens each lane by its own element's damage,
    // with erosion (the return of jcth, john's with "cons on" and without).
    const std::pair<std::string, std::string> models[] = {
        {"--material \"john 7850 2e11 0.3 3.5e8 2.75e8 0.36 0.022\" --seos \"4569 1.49 2.17\" "
         "--hourglass 2,0.1",
         ""},
        {"--material \"pla2 7850 2e11 0.3 3.5e8 1e9\" --hourglass 1,0.1 --jaumann off", ""},
        {"--material \"jcth 7850 2e11 0.33 4.9e8 8.07e8 0.73 0.0114 0.94 1800 293 452 0.9 "
         "5e-4\"",
         "fail\njc 1 0.01 0.15 -0.5 0 0\ncdam 1 0.3\nendf\n"},
        {"--material \"john 7850 2e11 0.3 3.5e8 2.75e8 0.36 0.022\" --corr off",
         "fail\njc 1 0.01 0.15 -0.5 0 0\ncdam 1 0.5\nendf\n"},
        // The returns onto the curves in the lanes ("math on", the mesh
        // tool's default) against lane by lane (the scalar width).
        {"--material \"plaw 7850 2e11 0.3 3e8 5e8 0.3\"", ""},
        {"--material \"voce 7850 2e11 0.3 3e8 2e8 20\" --seos \"4569 1.49 2.17\"", ""},
    };
    for (const auto& [model, fail] : models) {
        SCOPED_TRACE(model);
        std::vector<std::pair<std::string, std::string>> ref;
        for (const char* width : {"scalar", "sse2", "avx2", "avx512"}) {
            SCOPED_TRACE(width);
            TempDir dir(std::string("simd-") + width);
            RunResult r =
                run_command(exe("hexdyn-mesh") + " box " + model + common, dir.path(), 60);
            ASSERT_EQ(r.status, 0) << r.out;
            if (!fail.empty()) {
                std::string deck = read_file(dir.path() / "a");
                const size_t at = deck.find("\nmate\n");
                ASSERT_NE(at, std::string::npos);
                deck.insert(at + 1, fail);
                write_file(dir.path() / "a", deck);
            }
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
