#include "control/process.hpp"

#include <mpi.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "model/model.hpp"

namespace process {

void reset() {
    model::reset();
    ffi::closeall();
    datain::resetinput();
}

void terminate(int status) {
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

}  // namespace process
