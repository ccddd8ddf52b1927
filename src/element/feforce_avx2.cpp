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
}  // namespace

#include "element/batch.hpp"

void elementpass_avx2(elementpass& p) { batchedpass(p); }
