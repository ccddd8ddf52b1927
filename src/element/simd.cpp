#include "element/simd.hpp"

#include <cstdlib>
#include <cstring>

#include "model/errorstop.hpp"

namespace simd {

int lanes(width w) {
    switch (w) {
        case width::sse2: return 2;
        case width::avx2: return 4;
        case width::avx512: return 8;
        default: return 1;
    }
}

const char* name(width w) {
    switch (w) {
        case width::sse2: return "sse2";
        case width::avx2: return "avx2";
        case width::avx512: return "avx512";
        default: return "scalar";
    }
}

bool supported(width w) {
    __builtin_cpu_init();
    switch (w) {
        case width::avx2: return __builtin_cpu_supports("avx2");
        case width::avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
        default: return true;  // scalar and SSE2 are baseline x86-64
    }
}

width widest() {
    if (supported(width::avx512)) return width::avx512;
    if (supported(width::avx2)) return width::avx2;
    return width::sse2;
}

bool resolve(const char* value, width& w, std::string& message) {
    if (value == nullptr || *value == '\0') {
        w = widest();
        return true;
    }
    for (width c : {width::scalar, width::sse2, width::avx2, width::avx512}) {
        if (std::strcmp(value, name(c)) != 0) continue;
        if (!supported(c)) {
            message =
                std::string("HEXDYN_SIMD=") + value + ": this processor does not support " + value;
            return false;
        }
        w = c;
        return true;
    }
    message =
        std::string("HEXDYN_SIMD=") + value + ": unknown width (scalar, sse2, avx2 or avx512)";
    return false;
}

width fromenvironment() {
    width w = width::scalar;
    std::string message;
    if (!resolve(std::getenv("HEXDYN_SIMD"), w, message)) {
        errorstop::writeline(" *** Error *** " + message);
        errorstop::stop();
    }
    return w;
}

}  // namespace simd
