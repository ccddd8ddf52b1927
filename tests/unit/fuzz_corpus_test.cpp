// Replays the kept inputs of the deck fuzzer (tests/fuzz/corpus): each one
// must end the input phase normally or with an error stop, nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "control/process.hpp"
#include "input/datain.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "testutil.hpp"

using namespace testutil;

TEST(FuzzCorpus, EveryInputEndsNormallyOrWithAStop) {
    const fs::path corpus = fs::path(HEXDYN_SOURCE_DIR) / "tests" / "fuzz" / "corpus";
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(corpus))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << corpus;

    TempDir dir("fuzz-corpus");
    InDir in(dir.path());
    write_file(dir / "Comm", "0\n\n");
    int stops = 0;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.filename().string());
        process::reset();
        write_file(dir / "a", read_file(f));
        testing::internal::CaptureStdout();
        try {
            datain::inputpara();
        } catch (const errorstop::stop_exception& s) {
            EXPECT_NE(s.status, 0);
            ++stops;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "exception: " << e.what();
        } catch (...) { ADD_FAILURE() << "unknown exception"; }
        std::fflush(stdout);
        testing::internal::GetCapturedStdout();
    }
    process::reset();
    // the corpus keeps both kinds
    EXPECT_GT(stops, 0);
    EXPECT_LT(stops, static_cast<int>(files.size()));
}
