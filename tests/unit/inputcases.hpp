// Running the reader in-process for the tests of the input phase: standard
// output captured, an error stop caught, and a whole deck read as process 0
// of a single-process run in a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "control/process.hpp"
#include "input/datain.hpp"
#include "model/errorstop.hpp"
#include "testutil.hpp"

namespace inputcases {

// `s` filled up with blanks to the 256 characters of a deck line or a title.
inline std::string padded(std::string s) {
    s.resize(256, ' ');
    return s;
}

// Standard output of `f`, which may end in an error stop.
template <class F>
std::string captured(F&& f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// How a call into the reader ended: with an error stop or not, and what it
// wrote to standard output.
struct Outcome {
    bool stopped;
    std::string out;
};

// Runs `f` with its standard output captured; an error stop ends it with
// `stopped` set.
template <class F>
Outcome stopped_or_not(F&& f) {
    Outcome o{false, {}};
    o.out = captured([&] {
        try {
            f();
        } catch (const errorstop::stop_exception&) { o.stopped = true; }
    });
    return o;
}

// Reads `deck` in a fresh directory named after `tag` as process 0 of a
// single-process run. The model is reset before and after: the reset closes
// the files before the directory goes.
inline Outcome readdeck(const std::string& tag, const std::string& deck) {
    testutil::TempDir dir(tag);
    testutil::write_single_run(dir.path(), deck);
    testutil::InDir in(dir.path());
    process::reset();
    const Outcome o = stopped_or_not([] { datain::inputpara(); });
    process::reset();
    return o;
}

}  // namespace inputcases
