#include "texts.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace testutil {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) v.push_back(l);
    return v;
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

std::string e12(double v) {
    char b[40];
    std::snprintf(b, sizeof b, "%12.4E", v);
    return b;
}

std::string d15(double v) {
    if (v == 0.0) return "   0.000000D+00";
    char b[40];
    std::snprintf(b, sizeof b, "%.5E", std::fabs(v));
    const std::string s = b;  // d.dddddE+xx
    const int e = std::atoi(s.c_str() + 8) + 1;
    const std::string digits = s.substr(0, 1) + s.substr(2, 5);
    std::snprintf(b, sizeof b, "%15s",
                  ((v < 0 ? "-0." : "0.") + digits + (e < 0 ? "D-" : "D+") +
                   (std::abs(e) < 10 ? "0" : "") + std::to_string(std::abs(e)))
                      .c_str());
    return b;
}

std::string num(double v) {
    char b[40];
    std::snprintf(b, sizeof b, "%.9g", v);
    return b;
}

std::string deck_real(double v) {
    std::string s = num(v);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

const int unit_corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                               {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};

std::string brick(int first, double x0, double y0, double z0, double h, int comp) {
    std::string s;
    for (int k = 0; k < 8; ++k)
        s += std::to_string(first + k) + " " + std::to_string(comp) + " " +
             num(x0 + h * unit_corner[k][0]) + " " + num(y0 + h * unit_corner[k][1]) + " " +
             num(z0 + h * unit_corner[k][2]) + "\n";
    return s;
}

}  // namespace testutil
