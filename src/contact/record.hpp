// Records of the contact written as lists of doubles: the ghost messages
// between processes and the checkpoint section. A record type names its
// fields once, in order, in a static `fields(io, r)` (r the record, const
// or not); the same list packs
// it, unpacks it and counts its length, so a field added to a record goes
// everywhere the record goes and no reader counts places by hand.
//
// Whole numbers (element and node numbers, sides, material sets) travel as
// doubles, exact up to 2^53.
#pragma once

#include <cstddef>
#include <vector>

namespace contact {

// Writes fields at a cursor that the caller has made room for.
class packer {
  public:
    explicit packer(double* at) : p(at) {}
    void operator()(double v) { *p++ = v; }
    void operator()(long long v) { *p++ = static_cast<double>(v); }
    void operator()(int v) { *p++ = v; }
    template <class T, std::size_t N>
    void operator()(const T (&a)[N]) {
        for (const T& v : a) (*this)(v);
    }
    void operator()(const std::vector<double>& a) {
        for (const double v : a) *p++ = v;
    }
    double* end() const { return p; }

  private:
    double* p;
};

// Reads fields back in the same order.
class unpacker {
  public:
    explicit unpacker(const double* at) : p(at) {}
    void operator()(double& v) { v = *p++; }
    void operator()(long long& v) { v = static_cast<long long>(*p++); }
    void operator()(int& v) { v = static_cast<int>(*p++); }
    template <class T, std::size_t N>
    void operator()(T (&a)[N]) {
        for (T& v : a) (*this)(v);
    }
    // A list of the length it already has.
    void operator()(std::vector<double>& a) {
        for (double& v : a) v = *p++;
    }
    const double* end() const { return p; }

  private:
    const double* p;
};

// Counts the doubles the fields take.
class counter {
  public:
    template <class T>
    constexpr void operator()(const T&) {
        n += 1;
    }
    template <class T, std::size_t N>
    constexpr void operator()(const T (&)[N]) {
        n += N;
    }
    void operator()(const std::vector<double>& a) { n += a.size(); }
    constexpr std::size_t size() const { return n; }

  private:
    std::size_t n = 0;
};

// The length of record r in doubles.
template <class R>
constexpr std::size_t recordsize(const R& r) {
    counter c;
    R::fields(c, r);
    return c.size();
}

// Appends record r to out.
template <class R>
void pack(std::vector<double>& out, const R& r) {
    const std::size_t at = out.size();
    out.resize(at + recordsize(r));
    packer p(out.data() + at);
    R::fields(p, r);
}

// Writes record r at d (room for recordsize(r) doubles); returns the place
// after it.
template <class R>
double* packat(double* d, const R& r) {
    packer p(d);
    R::fields(p, r);
    return p.end();
}

// Reads record r from d; returns the place after it.
template <class R>
const double* unpack(const double* d, R& r) {
    unpacker u(d);
    R::fields(u, r);
    return u.end();
}

}  // namespace contact
