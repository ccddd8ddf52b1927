// Ending a run on an error.
//
// The procedure that finds a problem writes its message to standard output
// and calls `errorstop::stop`. The stop is raised as an exception so that the
// driver decides how the process ends (a non-zero exit, and the whole MPI job
// brought down when several processes run) and so that tests can observe it
// in-process. (Ending the process after a stop, which closes the files and
// the MPI job, belongs to the driver: control/process.hpp.)
#pragma once

#include <string>
#include <string_view>

namespace errorstop {

struct stop_exception {
    int status;
};

// Writes one line to standard output (the text as given, followed by a
// newline) without stopping.
void writeline(std::string_view line);

// Stops the run; the message, if any, has been written already.
[[noreturn]] void stop();

// Writes the message as a list-directed record (a leading blank, then the
// text) and stops the run.
[[noreturn]] void stop(std::string_view message);

}  // namespace errorstop
