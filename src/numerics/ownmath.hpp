// log, exp and pow of the solver's own ("math on"), written once over the
// lane type: V is double (the scalar path) or a GCC vector of doubles (the
// SIMD lanes of element/batch.hpp), and every lane performs the same IEEE
// operations as the scalar code, so every width gives the same bits. Only
// + - * / are used, with Dekker's exact splitting and products (no FMA: the
// build has -ffp-contract=off), no tables, no branches (selects per lane).
// The results do not depend on the machine or on libm.
//
// Method: x = 2^k m, m in [sqrt(1/2), sqrt(2)); log m = 2 atanh s with
// s = (m - 1) / (m + 1) in double-double, the series tail to s^23 in double;
// log x = k ln2 + log m as a double-double (ln2 split into a 43-bit head,
// exact times k, and a tail). pow: y log x as a double-double, then exp of a
// double-double argument: n = round(a / ln2), r = a - n ln2 (the head exact),
// e^r = 1 + r + r^2/2 (double-double) + r^3 (1/6 + ... + r^12/15!), scaled by
// 2^n in two exact halves (so subnormal results and overflow come out right).
//
// Accuracy, checked against __float128 by tests/unit/ownmath_test.cpp: at
// most 1 ulp (in practice below 0.6 ulp) for
//   log  x positive, normal or subnormal
//   exp  a in [-745, 709.7]: normal results (subnormal results are rounded
//        twice and may be 1 ulp of the subnormal further off)
//   pow  x > 0 and y with |y log x| < 709 (the solver's V^(2/3) for V in
//        1e-15..1e3, epeff^n for epeff in 1e-12..10 and n in 0..2, T*^m
//        for T* in [0, 1], m in 0.5..2)
// Domain ends, as libm: log(0) = -inf, log(inf) = inf, log(x < 0) = NaN;
// exp(a > 709.78) = inf, exp(a < -745.2) = 0; pow(0, y) = 0 (y > 0), 1
// (y = 0), inf (y < 0); pow(x, 0) = 1; pow(inf, y) = inf (y > 0), 0 (y < 0);
// pow(x < 0, y) = NaN (odd integer powers of negative numbers are not
// needed and not provided); NaN in, NaN out (but pow(x, 0) = 1).
//
// Everything has internal linkage (anonymous namespace): the SIMD files of
// the element pass compile their own copies for their instruction sets.
#pragma once

#include <cstring>
#include <limits>

namespace ownmath {
namespace {

// 64-bit integer lanes of V: long long for double, the comparison result of a
// vector.
template <class V>
struct bitsof {
    using type = decltype(V{} < V{});
};
template <>
struct bitsof<double> {
    using type = long long;
};

template <class V>
using bits_t = typename bitsof<V>::type;

template <class V>
inline bits_t<V> asbits(V x) {
    bits_t<V> i;
    static_assert(sizeof i == sizeof x);
    std::memcpy(&i, &x, sizeof x);
    return i;
}

template <class V>
inline V asdouble(bits_t<V> i) {
    V x;
    static_assert(sizeof i == sizeof x);
    std::memcpy(&x, &i, sizeof x);
    return x;
}

// x in every lane (x - 0 keeps a negative zero).
template <class V>
inline V all(double x) {
    return x - V{};
}

// a + b = s + e exactly.
template <class V>
inline void twosum(V a, V b, V& s, V& e) {
    s = a + b;
    const V bb = s - a;
    e = (a - (s - bb)) + (b - bb);
}

// a + b = s + e exactly, |a| >= |b|.
template <class V>
inline void fasttwosum(V a, V b, V& s, V& e) {
    s = a + b;
    e = b - (s - a);
}

// a = hi + lo, each half with 26 bits (Veltkamp).
template <class V>
inline void split(V a, V& hi, V& lo) {
    const V c = 134217729.0 * a;
    hi = c - (c - a);
    lo = a - hi;
}

// a b = p + e exactly (Dekker).
template <class V>
inline void twoprod(V a, V b, V& p, V& e) {
    p = a * b;
    V ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    e = (((ah * bh - p) + ah * bl) + al * bh) + al * bl;
}

// ln 2 = ln2hi + ln2lo + O(2^-86); ln2hi has 43 significant bits, so k ln2hi
// is exact for |k| < 2^10 (and for every k the two routines meet here).
constexpr double ln2hi = 6.93147180369123816490e-01;  // 0x3fe62e42fee00000
constexpr double ln2lo = 1.90821492927058770002e-10;  // 0x3dea39ef35793c76
constexpr double invln2 = 1.44269504088896338700e+00;
constexpr double round52 = 0x1.8p52;  // adding it rounds to an integer

// log x = hi + lo for positive finite x (normal or subnormal).
template <class V>
inline void logdd(V x, V& hi, V& lo) {
    using I = bits_t<V>;
    const auto sub = x < 0x1p-1022;
    const V xs = sub ? x * 0x1p54 : x;
    const I b = asbits(xs);
    I e = ((b >> 52) & 0x7ff) - 1023;
    e = sub ? e - 54 : e;
    V m = asdouble<V>((b & 0x000fffffffffffffLL) | 0x3ff0000000000000LL);  // [1, 2)
    const auto big = m > 0x1.6a09e667f3bcdp0;                              // above sqrt(2)
    m = big ? m * 0.5 : m;
    e = big ? e + 1 : e;
    const V k = asdouble<V>(e + asbits(all<V>(round52))) - round52;  // e as a double, exactly

    // s = (m - 1) / (m + 1) as sh + sl.
    const V f = m - 1.0;  // exact
    V g, gl;
    twosum(m, all<V>(1.0), g, gl);
    const V sh = f / g;
    V p, pe;
    twoprod(sh, g, p, pe);
    const V sl = (((f - p) - pe) - sh * gl) / g;

    // log m = 2 atanh s = 2s + 2s^3/3 + 2s^5/5 + ..., |s| <= 0.1716; the
    // series stops at s^23 (the next term is below 2^-67).
    // Estrin's scheme: short chains of dependent operations.
    const V z = sh * sh;
    const V z2 = z * z;
    const V z4 = z2 * z2;
    const V q0 = (2.0 / 3.0 + z * (2.0 / 5.0)) + z2 * (2.0 / 7.0 + z * (2.0 / 9.0));
    const V q1 = (2.0 / 11.0 + z * (2.0 / 13.0)) + z2 * (2.0 / 15.0 + z * (2.0 / 17.0));
    const V q2 = (2.0 / 19.0 + z * (2.0 / 21.0)) + z2 * (2.0 / 23.0);
    const V t = (q0 + z4 * q1) + (z4 * z4) * q2;
    const V tail = (sh * z) * t;
    // d(2 atanh s)/ds = 2 / (1 - s^2): the low part of s to second order.
    const V low = sl * (2.0 + 2.0 * z);

    V h, l;
    twosum(k * ln2hi, 2.0 * sh, h, l);
    l = l + (k * ln2lo + (low + tail));
    fasttwosum(h, l, hi, lo);
}

// exp(a + b), |b| small beside |a| (a double-double, b may be 0).
template <class V>
inline V expdd(V a, V b) {
    using I = bits_t<V>;
    a = a > 710.0 ? all<V>(710.0) : a;
    a = a < -746.0 ? all<V>(-746.0) : a;
    const V t = a * invln2 + round52;
    const I n = asbits(t) - asbits(all<V>(round52));
    const V nd = t - round52;
    const V ra = a - nd * ln2hi;  // exact
    const V rb = b - nd * ln2lo;
    V r, rl;
    twosum(ra, rb, r, rl);

    // e^(r + rl), |r| <= 0.347: 1 + r + r^2/2 + r^3 (1/6 + ... + r^12/15!)
    // (the next term is below 2^-68).
    V sq, sqe;
    twoprod(r, r, sq, sqe);
    const V r2h = sq * 0.5;
    const V r2l = sqe * 0.5 + r * rl;
    // Estrin's scheme, in powers of r (sq = r^2 rounded).
    const V r4 = sq * sq;
    const V f0 = (1.0 / 6.0 + r * (1.0 / 24.0)) + sq * (1.0 / 120.0 + r * (1.0 / 720.0));
    const V f1 =
        (1.0 / 5040.0 + r * (1.0 / 40320.0)) + sq * (1.0 / 362880.0 + r * (1.0 / 3628800.0));
    const V f2 = (1.0 / 39916800.0 + r * (1.0 / 479001600.0)) +
                 sq * (1.0 / 6227020800.0 + r * (1.0 / 87178291200.0));
    const V q = (f0 + r4 * f1) + (r4 * r4) * (f2 + r4 * (1.0 / 1307674368000.0));
    const V cube = (sq * r) * q;
    V h1, l1, h2, l2;
    fasttwosum(all<V>(1.0), r, h1, l1);
    fasttwosum(h1, r2h, h2, l2);
    const V res = h2 + ((l1 + l2) + ((rl + r2l) + cube));

    // 2^n in two halves, each a normal number.
    const I n1 = n >> 1;
    const I n2 = n - n1;
    return res * asdouble<V>((n1 + 1023) << 52) * asdouble<V>((n2 + 1023) << 52);
}

template <class V>
inline V log(V x) {
    V h, l;
    logdd(x, h, l);
    V r = h + l;
    const V inf = all<V>(std::numeric_limits<double>::infinity());
    const V nan = all<V>(std::numeric_limits<double>::quiet_NaN());
    r = x == 0.0 ? -inf : r;
    r = x < 0.0 ? nan : r;
    r = x == inf ? inf : r;
    r = x == x ? r : x;
    return r;
}

template <class V>
inline V exp(V a) {
    return expdd(a, V{});
}

// x^y from log x = h + l.
template <class V>
inline V powfromlog(V x, V y, V h, V l) {
    V p, pe;
    twoprod(y, h, p, pe);
    V r = expdd(p, pe + y * l);
    const V inf = all<V>(std::numeric_limits<double>::infinity());
    const V nan = all<V>(std::numeric_limits<double>::quiet_NaN());
    const V zero = V{};
    const V one = all<V>(1.0);
    V atzero = y > 0.0 ? zero : inf;
    atzero = y == 0.0 ? one : atzero;
    V atinf = y > 0.0 ? inf : zero;
    atinf = y == 0.0 ? one : atinf;
    r = x == 0.0 ? atzero : r;
    r = x == inf ? atinf : r;
    r = x < 0.0 ? nan : r;
    r = x == x ? r : x;
    r = y == 0.0 ? one : r;
    return r;
}

// x^y for x >= 0 (see the head of the file for the ends of the domain).
template <class V>
inline V pow(V x, V y) {
    V h, l;
    logdd(x, h, l);
    return powfromlog(x, y, h, l);
}

// x^y1 and x^y2 with one logarithm: the bits of pow(x, y1) and pow(x, y2).
template <class V>
inline void powpair(V x, V y1, V y2, V& r1, V& r2) {
    V h, l;
    logdd(x, h, l);
    r1 = powfromlog(x, y1, h, l);
    r2 = powfromlog(x, y2, h, l);
}

}  // namespace
}  // namespace ownmath
