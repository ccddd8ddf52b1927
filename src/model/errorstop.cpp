#include "model/errorstop.hpp"

#include <cstdio>
#include <string>

namespace errorstop {

void writeline(std::string_view line) {
    // One write per line with its line end: when standard output is not
    // buffered, the launcher that merges the output of several processes
    // then never splits a line between two of them.
    std::string record;
    record.reserve(line.size() + 1);
    record.append(line);
    record.push_back('\n');
    std::fwrite(record.data(), 1, record.size(), stdout);
}

void stop() {
    std::fflush(stdout);
    throw stop_exception{1};
}

void stop(std::string_view message) {
    std::string line(1, ' ');
    line.append(message);
    writeline(line);
    stop();
}

}  // namespace errorstop
