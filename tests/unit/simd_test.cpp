// Choice of the element pass's SIMD width (element/simd.cpp): the widest the
// processor has by default, HEXDYN_SIMD honoured, an unknown name or a width
// the processor lacks refused with the reason.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "element/simd.hpp"
#include "model/errorstop.hpp"

using simd::width;

TEST(SimdWidth, DefaultIsTheWidestSupported) {
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        width w = width::scalar;
        std::string message;
        ASSERT_TRUE(simd::resolve(unset, w, message));
        EXPECT_EQ(w, simd::widest());
    }
    const width w = simd::widest();
    EXPECT_TRUE(simd::supported(w));
    EXPECT_NE(w, width::scalar);
    // Nothing supported is wider than the widest.
    if (w != width::avx512) { EXPECT_FALSE(simd::supported(width::avx512)); }
    EXPECT_EQ(simd::supported(width::avx2), __builtin_cpu_supports("avx2") != 0);
}

TEST(SimdWidth, NamesChooseTheirWidthOrAreRefused) {
    const struct {
        width w;
        const char* name;
        int lanes;
    } cases[] = {{width::scalar, "scalar", 1},
                 {width::sse2, "sse2", 2},
                 {width::avx2, "avx2", 4},
                 {width::avx512, "avx512", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(simd::name(c.w), c.name);
        EXPECT_EQ(simd::lanes(c.w), c.lanes);
        width w = width::scalar;
        std::string message;
        const bool ok = simd::resolve(c.name, w, message);
        EXPECT_EQ(ok, simd::supported(c.w));
        if (ok) {
            EXPECT_EQ(w, c.w);
        } else {
            EXPECT_EQ(message, std::string("HEXDYN_SIMD=") + c.name +
                                   ": this processor does not support " + c.name);
        }
    }
    for (const char* bad : {"AVX2", "avx", "sse", "avx512f", " scalar"}) {
        SCOPED_TRACE(bad);
        width w = width::scalar;
        std::string message;
        EXPECT_FALSE(simd::resolve(bad, w, message));
        EXPECT_EQ(message, std::string("HEXDYN_SIMD=") + bad +
                               ": unknown width (scalar, sse2, avx2 or avx512)");
    }
}

TEST(SimdWidth, EnvironmentIsHonouredAndABadValueStops) {
    const char* old = std::getenv("HEXDYN_SIMD");
    const std::string saved = old ? old : "";
    setenv("HEXDYN_SIMD", "scalar", 1);
    EXPECT_EQ(simd::fromenvironment(), width::scalar);
    setenv("HEXDYN_SIMD", "sse2", 1);
    EXPECT_EQ(simd::fromenvironment(), width::sse2);
    unsetenv("HEXDYN_SIMD");
    EXPECT_EQ(simd::fromenvironment(), simd::widest());

    setenv("HEXDYN_SIMD", "fastest", 1);
    testing::internal::CaptureStdout();
    EXPECT_THROW(simd::fromenvironment(), errorstop::stop_exception);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " *** Error *** HEXDYN_SIMD=fastest: unknown width (scalar, sse2, avx2 or avx512)\n");
    if (old)
        setenv("HEXDYN_SIMD", saved.c_str(), 1);
    else
        unsetenv("HEXDYN_SIMD");
}
