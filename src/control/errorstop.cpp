#include "control/errorstop.hpp"

#include <mpi.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "control/model.hpp"
#include "input/ffi.hpp"

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

void terminate_process(int status) {
    // What the run wrote before the stop stays in its files.
    ffi::closeonstop();
    std::fflush(stdout);
    std::fflush(stderr);
    int initialized = 0;
    int finalized = 0;
    MPI_Initialized(&initialized);
    MPI_Finalized(&finalized);
    if (initialized && !finalized) {
        int size = 1;
        MPI_Comm_size(MPI_COMM_WORLD, &size);
        if (size > 1) {
            // The launcher passes standard output on asynchronously and drops
            // what it has not passed on when the job is aborted: give it time
            // to forward the message first.
            const timespec pause{1, 0};
            nanosleep(&pause, nullptr);
            MPI_Abort(MPI_COMM_WORLD, status);
        }
        MPI_Finalize();
    }
    std::exit(status);
}

}  // namespace errorstop
