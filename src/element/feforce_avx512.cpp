// The element pass in batches of 8 lanes (AVX-512).
// Compiled with -mavx512f -mavx512dq alone (CMakeLists.txt) and called only
// where the processor has both (element/simd.cpp).
#include <immintrin.h>

#include "element/elementpass.hpp"

namespace {
constexpr int W = 8;
typedef double vd __attribute__((vector_size(64)));
typedef long long vm __attribute__((vector_size(64)));
typedef float vf __attribute__((vector_size(32)));
// All eight lanes; the masked form avoids an undefined pass-through operand.
inline vd vsqrt(vd x) { return _mm512_mask_sqrt_pd(x, static_cast<__mmask8>(0xff), x); }
#define HEXDYN_BATCH_GATHER 1
typedef int vi __attribute__((vector_size(32)));
// Gathers of all lanes; the masked forms avoid an undefined pass-through operand.
inline vi gatheri(const int* base, vi idx) {
    return (vi)_mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, (__m256i)idx,
                                           _mm256_set1_epi32(-1), 4);
}
inline vd gatherd(const double* base, vi idx) {
    return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), static_cast<__mmask8>(0xff), (__m256i)idx,
                                    base, 8);
}
#define HEXDYN_BATCH_SCATTER 1
inline void scatterd(double* base, vi idx, vd x) { _mm512_i32scatter_pd(base, (__m256i)idx, x, 8); }
}  // namespace

#include "element/batch.hpp"

void elementpass_avx512(elementpass& p) { batchedpass(p); }
void ownmath_avx512(int fn, const double* x, const double* y, double* out, int n) {
    ownmathlanes(fn, x, y, out, n);
}
