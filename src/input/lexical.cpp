#include "input/lexical.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace lexical {

bool charmatch(char a, char b) {
    int d = static_cast<unsigned char>(a) - static_cast<unsigned char>(b);
    return d == 0 || d == 32 || d == -32;
}

int match4(std::string_view word, const char* table, int n) {
    char w[4] = {' ', ' ', ' ', ' '};
    for (size_t i = 0; i < 4 && i < word.size(); ++i) w[i] = word[i];
    for (int k = 0; k < n; ++k) {
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i) ok = charmatch(w[i], table[4 * k + i]);
        if (ok) return k + 1;
    }
    return -1;
}

int splitwords(char* c, int& n, wordspan (&words)[linewidth + 1],
               std::vector<std::size_t>* origin) {
    if (origin) {
        origin->resize(static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < origin->size(); ++i) (*origin)[i] = i;
    }
    auto erase_at = [&](int at) {
        std::memmove(c + at, c + at + 1, static_cast<std::size_t>(n - at - 1));
        c[n - 1] = ' ';
        --n;
        if (origin) origin->erase(origin->begin() + at);
    };
    // Blank compaction (1-based positions i; c[i-1] here).
    for (int i = 1; i < n;) {
        if (c[i - 1] == ' ' && (c[i] == ' ' || c[i] == ',')) {
            erase_at(i - 1);
        } else {
            ++i;
        }
    }
    int k = 0;
    if (n <= 2) {
        words[k++] = {1, n};
        return k;
    }
    int a = 1;
    for (int p = 1; p <= n - 2; ++p) {
        if (c[p - 1] == ',' && c[p] == ' ') erase_at(p);
        if (c[p] == ' ' || c[p] == ',') {
            words[k++] = {a, p};
            a = p + 2;
        }
    }
    words[k++] = {a, n};
    return k;
}

std::string_view numeric_text(std::string_view word) {
    size_t n = word.find(',');
    if (n == std::string_view::npos) n = word.size();
    word = word.substr(0, n);
    while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
    return word;
}

bool parse_int(std::string_view t, int& value) {
    if (t.empty()) return false;
    if (t.size() > 1 && t[0] == '-' && t[1] == '-') return false;
    long long v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool parse_real(std::string_view t, float& value) {
    std::string s;
    size_t i = 0;
    if (i < t.size() && t[i] == '-') s.push_back(t[i++]);
    size_t mant = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        s.push_back(t[i++]);
        ++mant;
    }
    if (i < t.size() && t[i] == '.') {
        s.push_back(t[i++]);
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            s.push_back(t[i++]);
            ++mant;
        }
    }
    if (mant == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
        s.push_back('e');
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) s.push_back(t[i++]);
        size_t ed = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            s.push_back(t[i++]);
            ++ed;
        }
        if (ed == 0) return false;
    }
    if (i != t.size()) return false;
    float v = 0.0f;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        const double d = std::strtod(s.c_str(), nullptr);
        if (!(std::fabs(d) < 1.0)) return false;
        v = static_cast<float>(d);
        r.ec = std::errc();
    }
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
    value = v;
    return true;
}

}  // namespace lexical
