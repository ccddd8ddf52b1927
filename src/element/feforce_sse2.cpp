// The element pass in batches of 2 lanes (SSE2, baseline x86-64).
#include <immintrin.h>

#include "element/elementpass.hpp"

namespace {
constexpr int W = 2;
typedef double vd __attribute__((vector_size(16)));
typedef long long vm __attribute__((vector_size(16)));
typedef float vf __attribute__((vector_size(8)));
inline vd vsqrt(vd x) { return _mm_sqrt_pd(x); }
}  // namespace

#include "element/batch.hpp"

void elementpass_sse2(elementpass& p) { batchedpass(p); }
void ownmath_sse2(int fn, const double* x, const double* y, double* out, int n) {
    ownmathlanes(fn, x, y, out, n);
}
