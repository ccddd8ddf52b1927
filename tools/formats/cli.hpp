// Small helpers for the command lines of the tools: strict number parsing
// and comma or blank separated lists.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "input/vocabulary.hpp"

namespace formats {

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

// True when `a` asks for help ("-h" or "--help"), after writing `help` to
// standard output.
bool asks_help(const std::string& a, const char* help);

// An argument as option name and value: "--name=value" gives name "--name",
// value "value" and `inline_value`; any other argument is the name alone.
struct Arg {
    std::string key, value;
    bool inline_value = false;
};
Arg split_arg(const std::string& a);

// Completes `arg`, split from argv[i], for an option that takes a value: an
// inline value stays, else the next argument is the value and `i` steps over
// it. False when the command line ends before the value.
bool take_value(Arg& arg, int& i, int argc, char** argv);

// Prints "TOOL: WHAT" and "(try TOOL --help)" to standard error; returns the
// exit status of a command-line mistake, 2.
int usage_error(const char* tool, const std::string& what);

// The main function of every tool, around its `run`: a Usage mistake prints
// "TOOL: WHAT" and "(see TOOL --help)" and gives status 2, any other
// exception "TOOL: FAILUREWHAT" and status 1. `failure` is the word a tool
// puts before the message of a failure ("error: " or nothing).
int guarded_main(const char* tool, int (*run)(int, char**), int argc, char** argv,
                 const char* failure = "");

}  // namespace formats
