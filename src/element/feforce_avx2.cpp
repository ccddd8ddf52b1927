// The element pass in batches of 4 lanes (AVX2).
// Compiled with -mavx2 alone (CMakeLists.txt) and called only where the
// processor has AVX2 (element/simd.cpp).
#include <immintrin.h>

#include "element/elementpass.hpp"

namespace {
constexpr int W = 4;
typedef double vd __attribute__((vector_size(32)));
typedef long long vm __attribute__((vector_size(32)));
typedef float vf __attribute__((vector_size(16)));
inline vd vsqrt(vd x) { return _mm256_sqrt_pd(x); }
#define HEXDYN_BATCH_GATHER 1
typedef int vi __attribute__((vector_size(16)));
// Gathers of all lanes; the masked forms avoid an undefined pass-through operand.
inline vi gatheri(const int* base, vi idx) {
    return (vi)_mm_mask_i32gather_epi32(_mm_setzero_si128(), base, (__m128i)idx, _mm_set1_epi32(-1),
                                        4);
}
inline vd gatherd(const double* base, vi idx) {
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, (__m128i)idx,
                                    _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
}
}  // namespace

#include "element/batch.hpp"

void elementpass_avx2(elementpass& p) { batchedpass(p); }
void ownmath_avx2(int fn, const double* x, const double* y, double* out, int n) {
    ownmathlanes(fn, x, y, out, n);
}
