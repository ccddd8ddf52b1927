// Width of the batched element pass, chosen at run time.
//
// The element pass computes batches of consecutive elements in SIMD lanes,
// one element per lane, every lane doing the IEEE operations of the scalar
// path in the same order (no contraction, libm's scalar pow and log per
// lane), so every width gives the same bits. The widest width the processor
// supports is used unless the environment variable HEXDYN_SIMD names one:
//   scalar  one element at a time (the reference path)
//   sse2    2 lanes (baseline x86-64)
//   avx2    4 lanes
//   avx512  8 lanes (AVX-512F and AVX-512DQ)
// A width the processor lacks, or an unknown name, stops the run.
#pragma once

#include <string>

namespace simd {

enum class width { scalar, sse2, avx2, avx512 };

// Lanes of a width (1 for scalar).
int lanes(width w);
const char* name(width w);
// Whether this processor can execute the code of a width.
bool supported(width w);
// The widest supported width.
width widest();

// Width for a value of HEXDYN_SIMD (null or empty: the widest supported).
// Returns false, with the reason in `message`, for an unknown name or a
// width the processor lacks.
bool resolve(const char* value, width& w, std::string& message);

// Width for the current environment; writes the reason and stops the run
// when HEXDYN_SIMD cannot be honoured.
width fromenvironment();

}  // namespace simd
