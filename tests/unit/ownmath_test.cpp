// The solver's own log, exp and pow of "math on" (numerics/ownmath.hpp):
// at most 1 ulp from the exact value (__float128 of libquadmath as the
// reference) over the ranges the solver uses, the ends of the domain as
// documented, and the same bits in the lanes of every SIMD width as in the
// scalar functions.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "element/elementpass.hpp"
#include "element/simd.hpp"
#include "numerics/ownmath.hpp"

// (clang, as clang-tidy runs it, does not see GCC's quadmath.h.)
#if defined(HEXDYN_HAVE_QUADMATH) && __has_include(<quadmath.h>)
#include <quadmath.h>
#define OWNMATH_REFERENCE 1
#endif

namespace {

const double inf = std::numeric_limits<double>::infinity();

// Values spread evenly in log between lo and hi.
std::vector<double> logspread(double lo, double hi, int n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> u(std::log(lo), std::log(hi));
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v) x = std::exp(u(rng));
    return v;
}

std::vector<double> uniform(double lo, double hi, int n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v) x = u(rng);
    return v;
}

#ifdef OWNMATH_REFERENCE
// |got - exact| in units of the last place of the exact value rounded to
// double.
double ulps(double got, __float128 exact) {
    const double e = std::fabs(static_cast<double>(exact));
    double u = std::nextafter(e, inf) - e;
    if (e < 0x1p-1022) u = 0x1p-1074;
    return static_cast<double>(fabsq((static_cast<__float128>(got) - exact) / u));
}

constexpr int samples = 40000;

TEST(OwnMath, LogWithinOneUlp) {
    std::mt19937_64 rng(11);
    for (const auto& [lo, hi] :
         {std::pair{1e-10, 1e12}, std::pair{0.5, 2.0}, std::pair{1.0 - 1e-6, 1.0 + 1e-6},
          std::pair{1e-300, 1e300}, std::pair{1e-320, 1e-308}}) {
        double worst = 0.0, at = 0.0;
        for (double x : logspread(lo, hi, samples, rng)) {
            const double e = ulps(ownmath::log(x), logq(static_cast<__float128>(x)));
            if (e > worst) worst = e, at = x;
        }
        std::printf("log over %g..%g: worst %.3f ulp\n", lo, hi, worst);
        EXPECT_LE(worst, 1.0) << "log over " << lo << ".." << hi << " at " << at;
    }
}

TEST(OwnMath, ExpWithinOneUlp) {
    std::mt19937_64 rng(12);
    for (const auto& [lo, hi] : {std::pair{-50.0, 0.0}, std::pair{-1.0, 1.0},
                                 std::pair{-708.0, 709.7}, std::pair{-1e-8, 1e-8}}) {
        double worst = 0.0, at = 0.0;
        for (double a : uniform(lo, hi, samples, rng)) {
            const double e = ulps(ownmath::exp(a), expq(static_cast<__float128>(a)));
            if (e > worst) worst = e, at = a;
        }
        std::printf("exp over %g..%g: worst %.3f ulp\n", lo, hi, worst);
        EXPECT_LE(worst, 1.0) << "exp over " << lo << ".." << hi << " at " << at;
    }
}

TEST(OwnMath, PowWithinOneUlp) {
    std::mt19937_64 rng(13);
    struct range {
        const char* what;
        double xlo, xhi, ylo, yhi;
    };
    // Volumes to 2/3, plastic strains to the hardening exponent (and to the
    // exponent less 1 of the slope), T* to the softening exponent, and wider.
    for (const range& r :
         {range{"V^(2/3)", 1e-15, 1e3, 2.0 / 3.0, 2.0 / 3.0},
          range{"epeff^n", 1e-12, 10.0, 0.0, 1.0}, range{"epeff^(n-1)", 1e-12, 10.0, -1.0, 0.0},
          range{"T*^m", 1e-6, 1.0, 0.5, 2.0}, range{"wide", 1e-100, 1e100, -3.0, 3.0}}) {
        const std::vector<double> x = logspread(r.xlo, r.xhi, samples, rng);
        const std::vector<double> y = uniform(r.ylo, r.yhi, samples, rng);
        double worst = 0.0, atx = 0.0, aty = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            const double e = ulps(ownmath::pow(x[i], y[i]), powq(static_cast<__float128>(x[i]),
                                                                 static_cast<__float128>(y[i])));
            if (e > worst) worst = e, atx = x[i], aty = y[i];
        }
        std::printf("pow %s: worst %.3f ulp\n", r.what, worst);
        EXPECT_LE(worst, 1.0) << r.what << " at pow(" << atx << ", " << aty << ")";
    }
}
#else
TEST(OwnMath, WithinOneUlp) { GTEST_SKIP() << "no libquadmath: no reference to check against"; }
#endif

TEST(OwnMath, EndsOfTheDomain) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ownmath::log(1.0), 0.0);
    EXPECT_EQ(ownmath::log(0.0), -inf);
    EXPECT_EQ(ownmath::log(inf), inf);
    EXPECT_TRUE(std::isnan(ownmath::log(-1.0)));
    EXPECT_TRUE(std::isnan(ownmath::log(nan)));
    EXPECT_EQ(ownmath::log(2.0), std::log(2.0));
    EXPECT_EQ(ownmath::exp(0.0), 1.0);
    EXPECT_EQ(ownmath::exp(710.0), inf);
    EXPECT_EQ(ownmath::exp(-800.0), 0.0);
    EXPECT_EQ(ownmath::exp(-inf), 0.0);
    EXPECT_EQ(ownmath::exp(inf), inf);
    EXPECT_TRUE(std::isnan(ownmath::exp(nan)));
    EXPECT_EQ(ownmath::pow(0.0, 0.5), 0.0);
    EXPECT_EQ(ownmath::pow(0.0, 0.0), 1.0);
    EXPECT_EQ(ownmath::pow(0.0, -0.5), inf);
    EXPECT_EQ(ownmath::pow(3.0, 0.0), 1.0);
    EXPECT_EQ(ownmath::pow(1.0, 0.37), 1.0);
    EXPECT_EQ(ownmath::pow(inf, 0.5), inf);
    EXPECT_EQ(ownmath::pow(inf, -0.5), 0.0);
    EXPECT_TRUE(std::isnan(ownmath::pow(-2.0, 0.5)));
    EXPECT_TRUE(std::isnan(ownmath::pow(nan, 0.5)));
    EXPECT_TRUE(std::isnan(ownmath::pow(2.0, nan)));
    EXPECT_EQ(ownmath::pow(nan, 0.0), 1.0);
    EXPECT_EQ(ownmath::pow(8.0, 1.0 / 3.0), 2.0);
    EXPECT_EQ(ownmath::pow(2.0, 10.0), 1024.0);
    EXPECT_EQ(ownmath::pow(0.25, 0.5), 0.5);
    EXPECT_EQ(ownmath::pow(7.0, 1.0), 7.0);
}

// Arguments for the width comparison: the solver's ranges, specials, and
// values around the reduction boundaries (sqrt 2, multiples of ln2 / 2).
void widthcases(std::vector<double>& x, std::vector<double>& y) {
    std::mt19937_64 rng(14);
    auto add = [&](const std::vector<double>& a, const std::vector<double>& b) {
        x.insert(x.end(), a.begin(), a.end());
        y.insert(y.end(), b.begin(), b.end());
    };
    add(logspread(1e-15, 1e3, 4000, rng), std::vector<double>(4000, 2.0 / 3.0));
    add(logspread(1e-12, 10.0, 4000, rng), uniform(-1.0, 1.0, 4000, rng));
    add(logspread(1e-300, 1e300, 4000, rng), uniform(-2.0, 2.0, 4000, rng));
    add(uniform(-750.0, 750.0, 4000, rng), uniform(0.0, 2.0, 4000, rng));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double s : {0.0, -0.0, 1.0, -1.0, inf, -inf, nan, 0x1p-1074, 0x1p-1022, 1.4142135623730951,
                     1.4142135623730949, 0.34657359027997264, -0.34657359027997264, 709.78, -745.1})
        for (double t : {0.0, 0.5, -0.5, 2.0 / 3.0, 1.0, nan}) {
            x.push_back(s);
            y.push_back(t);
        }
    while (x.size() % 8 != 0) {
        x.push_back(1.5);
        y.push_back(0.5);
    }
}

TEST(OwnMath, EveryWidthGivesTheScalarBits) {
    std::vector<double> x, y;
    widthcases(x, y);
    const int n = static_cast<int>(x.size());
    const struct {
        simd::width w;
        void (*fn)(int, const double*, const double*, double*, int);
    } widths[] = {{simd::width::sse2, ownmath_sse2},
                  {simd::width::avx2, ownmath_avx2},
                  {simd::width::avx512, ownmath_avx512}};
    int compared = 0;
    for (const auto& w : widths) {
        if (!simd::supported(w.w)) continue;
        for (int fn = 0; fn < 3; ++fn) {
            SCOPED_TRACE(std::string(simd::name(w.w)) + " function " + std::to_string(fn));
            std::vector<double> out(x.size());
            w.fn(fn, x.data(), y.data(), out.data(), n);
            int differ = 0;
            for (size_t i = 0; i < x.size(); ++i) {
                const double s = fn == 0   ? ownmath::log(x[i])
                                 : fn == 1 ? ownmath::exp(x[i])
                                           : ownmath::pow(x[i], y[i]);
                if (std::bit_cast<std::uint64_t>(s) != std::bit_cast<std::uint64_t>(out[i]) &&
                    !(std::isnan(s) && std::isnan(out[i])))
                    if (++differ <= 5)
                        ADD_FAILURE() << "x " << x[i] << " y " << y[i] << ": scalar " << s
                                      << ", lanes " << out[i];
            }
            EXPECT_EQ(differ, 0);
            ++compared;
        }
    }
    EXPECT_GE(compared, 3);  // SSE2 at least
}

}  // namespace
