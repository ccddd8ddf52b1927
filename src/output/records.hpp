// Formatted text records.
//
// Fixed-width fields appended to a character buffer:
//   put_i  Iw    integer right-justified in w columns, asterisks if it does not fit
//   put_a  Aw    text cut to w characters, or preceded by blanks up to w
//   put_e  Ew.d  with scale factor 1: d.dddE+xx (one digit before the point)
//   put_d  Dw.d  0.ddddddD+xx (d significant digits after "0.")
// An exponent of three digits takes the place of the exponent letter
// (1.0000+100). Values are rounded correctly from the binary double.
//
// `put_column` appends one column of the result tables (energy.dat,
// forces.dat, walls.dat, rigid.dat): C's %17.9E, with a blank put in front
// where the value fills all 17 places (a negative value with a three-digit
// exponent), so that neighbouring columns never run together.
//
// `listed` builds a list-directed record: a leading blank, then the items,
// texts as they stand and numbers in a default width.
#pragma once

#include <string>
#include <string_view>

namespace records {

void put_i(std::string& out, long long value, int w);
void put_a(std::string& out, std::string_view text, int w);
void put_e(std::string& out, double value, int w, int d);
void put_d(std::string& out, double value, int w, int d);
void put_column(std::string& out, double value);

// Items of a list-directed record.
void put_listed(std::string& out, std::string_view text);
void put_listed(std::string& out, const char* text);
void put_listed(std::string& out, int value);
void put_listed(std::string& out, long long value);
void put_listed(std::string& out, double value);

template <class... Items>
std::string listed(const Items&... items) {
    std::string out(1, ' ');
    (put_listed(out, items), ...);
    return out;
}

// Convenience forms returning the field alone.
std::string fmt_i(long long value, int w);
std::string fmt_e(double value, int w, int d);
std::string fmt_d(double value, int w, int d);

}  // namespace records
