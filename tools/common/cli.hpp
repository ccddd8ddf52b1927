// Small helpers for the command lines of the tools: strict number parsing
// and comma or blank separated lists.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace toolcli {

// A mistake on the command line (the tools answer with exit status 2 and a
// pointer to --help).
struct Usage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Whole-string conversions; throw Usage naming `what`.
double parse_real(std::string_view s, const std::string& what);
int parse_int(std::string_view s, const std::string& what);

// Splits at commas and blanks, dropping empty pieces.
std::vector<std::string> split_list(std::string_view s);

std::vector<double> parse_reals(std::string_view s, const std::string& what);

}  // namespace toolcli
