// The one exception of the tools' shared code: every failure to read, check
// or write a file. The message names the file and, where it applies, the line.
#pragma once

#include <stdexcept>

namespace formats {

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace formats
