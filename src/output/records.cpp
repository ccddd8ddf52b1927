#include "output/records.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace records {

namespace {

void stars(std::string& out, int w) { out.append(static_cast<size_t>(w), '*'); }

void pad_right_justified(std::string& out, const char* s, size_t n, int w) {
    if (static_cast<int>(n) > w) {
        stars(out, w);
        return;
    }
    out.append(static_cast<size_t>(w) - n, ' ');
    out.append(s, n);
}

// Non-finite values: right-justified words, as a Fortran runtime writes them.
bool put_nonfinite(std::string& out, double value, int w) {
    if (std::isnan(value)) {
        if (w < 3)
            stars(out, w);
        else
            pad_right_justified(out, "NaN", 3, w);
        return true;
    }
    if (std::isinf(value)) {
        const bool neg = value < 0;
        const char* word = neg ? "-Infinity" : "Infinity";
        size_t n = std::strlen(word);
        if (static_cast<int>(n) > w) {
            word = neg ? "-Inf" : "Inf";
            n = std::strlen(word);
        }
        pad_right_justified(out, word, n, w);
        return true;
    }
    return false;
}

// Powers of ten that are exact in double precision.
constexpr double exact_pow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// |value| times 10^k in one rounded operation, for |k| <= 22.
inline double scale10(double mag, int k) {
    return k >= 0 ? mag * exact_pow10[k] : mag / exact_pow10[-k];
}

// Short digit strings without the general conversion. Scaling a normal value
// by an exact power of ten so that `digits` digits stand before the point
// costs one rounding, which moves the scaled value by at most half an ulp
// (below 1.2e-7 for the at most 9 digits handled here). Unless the scaled
// value lies within 1e-6 of a half-integer, its nearest integer is therefore
// the correctly rounded digit string of the exact binary value, which is
// what the general conversion gives. Returns false (nothing written) for the
// close cases, for subnormal values and for scales beyond the exact powers.
bool short_digits(double mag, int digits, char* dig, int& exp10) {
    if (digits < 1 || digits > 9 || !(mag >= 2.2250738585072014e-308)) return false;
    std::uint64_t bits;
    std::memcpy(&bits, &mag, sizeof bits);
    const int e2 = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    // mag lies in [2^e2, 2^(e2+1)); 78913 / 2^18 is log10(2) to six digits, so
    // e is the decimal exponent of mag or one off from it either way.
    int e = (e2 * 78913) >> 18;
    const double top = exact_pow10[digits];
    const double bottom = exact_pow10[digits - 1];
    int k = digits - 1 - e;
    if (k < -21 || k > 21) return false;
    double y = scale10(mag, k);
    if (y >= top) {
        e += 1;
        y = scale10(mag, k - 1);
    } else if (y < bottom) {
        e -= 1;
        y = scale10(mag, k + 1);
    }
    if (!(y >= bottom && y < top)) return false;
    const auto whole = static_cast<std::uint64_t>(y);
    const double frac = y - static_cast<double>(whole);
    if (std::fabs(frac - 0.5) <= 1.0e-6) return false;
    std::uint64_t m = whole + (frac > 0.5 ? 1 : 0);
    if (m >= static_cast<std::uint64_t>(top)) {  // rounded up to the next decade
        m /= 10;
        e += 1;
    }
    for (int i = digits - 1; i >= 0; --i) {
        dig[i] = static_cast<char>('0' + m % 10);
        m /= 10;
    }
    exp10 = e;
    return true;
}

// Splits the scientific form of |value| with `digits` significant digits
// into its digit string and decimal exponent (value = 0.d1d2... * 10^(exp+1)).
// Returns the number of digits written into `dig`.
int scientific_digits(double mag, int digits, char* dig, int& exp10) {
    if (short_digits(mag, digits, dig, exp10)) return digits;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, mag, std::chars_format::scientific, digits - 1);
    char* p = buf;
    int n = 0;
    dig[n++] = *p++;
    if (p < res.ptr && *p == '.') {
        ++p;
        while (p < res.ptr && *p != 'e') dig[n++] = *p++;
    }
    // p at 'e'
    ++p;
    bool eneg = (*p == '-');
    ++p;
    int e = 0;
    while (p < res.ptr) e = e * 10 + (*p++ - '0');
    exp10 = eneg ? -e : e;
    return n;
}

void put_exponent(char*& q, int e, char letter) {
    int a = e < 0 ? -e : e;
    if (a <= 99) {
        *q++ = letter;
        *q++ = e < 0 ? '-' : '+';
        *q++ = static_cast<char>('0' + a / 10);
        *q++ = static_cast<char>('0' + a % 10);
    } else {
        *q++ = e < 0 ? '-' : '+';
        *q++ = static_cast<char>('0' + a / 100);
        *q++ = static_cast<char>('0' + (a / 10) % 10);
        *q++ = static_cast<char>('0' + a % 10);
    }
}

// A real field of `digits` significant digits, right-justified in w columns:
// d1.d2d3...E+xx (E format, scale factor 1) or, with `leading_zero`,
// 0.d1d2...D+xx (D format, exponent one more than in scientific form).
void put_real(std::string& out, double value, int w, int digits, bool leading_zero, char letter) {
    if (!std::isfinite(value) && put_nonfinite(out, value, w)) return;
    char dig[40];
    char buf[64];
    char* q = buf;
    const bool neg = std::signbit(value) && value != 0.0;
    const double mag = std::fabs(value);
    int e = 0;
    int n;
    if (mag == 0.0) {
        n = digits;
        for (int i = 0; i < n; ++i) dig[i] = '0';
    } else {
        n = scientific_digits(mag, digits, dig, e);
        if (leading_zero) e += 1;  // 0.d1d2... form
    }
    if (neg) *q++ = '-';
    int i = 0;
    *q++ = leading_zero ? '0' : dig[i++];
    *q++ = '.';
    for (; i < n; ++i) *q++ = dig[i];
    put_exponent(q, e, letter);
    pad_right_justified(out, buf, static_cast<size_t>(q - buf), w);
}

}  // namespace

void put_i(std::string& out, long long value, int w) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    pad_right_justified(out, buf, static_cast<size_t>(res.ptr - buf), w);
}

void put_a(std::string& out, std::string_view text, int w) {
    if (static_cast<int>(text.size()) >= w) {
        out.append(text.data(), static_cast<size_t>(w));
    } else {
        out.append(static_cast<size_t>(w) - text.size(), ' ');
        out.append(text);
    }
}

void put_column(std::string& out, double value) {
    char field[32];
    const int n = std::snprintf(field, sizeof field, "%17.9E", value);
    if (n > 0 && field[0] != ' ') out += ' ';
    out += field;
}

void put_e(std::string& out, double value, int w, int d) {
    put_real(out, value, w, d + 1, false, 'E');
}

void put_d(std::string& out, double value, int w, int d) { put_real(out, value, w, d, true, 'D'); }

void put_listed(std::string& out, std::string_view text) { out.append(text); }
void put_listed(std::string& out, const char* text) { out.append(text); }
void put_listed(std::string& out, int value) { put_i(out, value, 12); }
void put_listed(std::string& out, long long value) { put_i(out, value, 21); }
void put_listed(std::string& out, double value) {
    // Default width for reals: 17 significant digits in a 25-column field.
    out.append(2, ' ');
    put_e(out, value, 23, 16);
}

std::string fmt_i(long long value, int w) {
    std::string s;
    put_i(s, value, w);
    return s;
}
std::string fmt_e(double value, int w, int d) {
    std::string s;
    put_e(s, value, w, d);
    return s;
}
std::string fmt_d(double value, int w, int d) {
    std::string s;
    put_d(s, value, w, d);
    return s;
}

}  // namespace records
