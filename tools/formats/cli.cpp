#include "formats/cli.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>

namespace formats {

double parse_real(std::string_view s, const std::string& what) {
    std::string_view t = s;
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    double v = 0.0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v))
        throw Usage(what + ": \"" + std::string(s) + "\" is not a number");
    if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max()))
        throw Usage(what + ": " + std::string(s) + " is beyond single precision");
    return v;
}

int parse_int(std::string_view s, const std::string& what) {
    std::string_view t = s;
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    int v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
        throw Usage(what + ": \"" + std::string(s) + "\" is not an integer");
    return v;
}

std::vector<std::string> split_list(std::string_view s) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::vector<double> parse_reals(std::string_view s, const std::string& what) {
    std::vector<double> v;
    for (const std::string& w : split_list(s)) v.push_back(parse_real(w, what));
    return v;
}

bool asks_help(const std::string& a, const char* help) {
    if (a != "-h" && a != "--help") return false;
    std::fputs(help, stdout);
    return true;
}

Arg split_arg(const std::string& a) {
    Arg r;
    r.key = a;
    const size_t eq = a.find('=');
    if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
        r.key = a.substr(0, eq);
        r.value = a.substr(eq + 1);
        r.inline_value = true;
    }
    return r;
}

bool take_value(Arg& arg, int& i, int argc, char** argv) {
    if (arg.inline_value) return true;
    if (i + 1 >= argc) return false;
    arg.value = argv[++i];
    return true;
}

int usage_error(const char* tool, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n(try %s --help)\n", tool, what.c_str(), tool);
    return 2;
}

int guarded_main(const char* tool, int (*run)(int, char**), int argc, char** argv,
                 const char* failure) {
    try {
        return run(argc, argv);
    } catch (const Usage& u) {
        std::fprintf(stderr, "%s: %s\n(see %s --help)\n", tool, u.what(), tool);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s%s\n", tool, failure, e.what());
        return 1;
    }
}

}  // namespace formats
