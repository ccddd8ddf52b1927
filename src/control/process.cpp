#include "control/process.hpp"

#include <mpi.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "contact/contact.hpp"
#include "control/checkpoint.hpp"
#include "control/stopsignal.hpp"
#include "failure/failure.hpp"
#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/units.hpp"
#include "walls/walls.hpp"

namespace process {

void reset() {
    model::reset();
    ffi::closeall();
    datain::resetinput();
    checkpoint::reset();
    failure::reset();
    stopsignal::reset();
    walls::reset();
    ffi::continueresults = false;
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

void endonsignal(int status) {
    ffi::closefiles();
    std::fflush(stdout);
    std::fflush(stderr);
    // MPICH's launcher, once signalled itself, reports 0 for processes that
    // end normally: only an abort carries the status out of the job, and
    // only when it comes after the launcher has finished passing the signal
    // on (and has forwarded the output written so far).
    const timespec pause{2, 0};
    nanosleep(&pause, nullptr);
    MPI_Abort(MPI_COMM_WORLD, status);
    std::exit(status);
}

void warnoversubscribed() {
    MPI_Comm machine = MPI_COMM_NULL;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &machine);
    int here = 1, rank = 0;
    MPI_Comm_size(machine, &here);
    MPI_Comm_rank(machine, &rank);
    MPI_Comm_free(&machine);
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    if (rank != 0 || cores < 1 || here <= cores) return;
    char name[MPI_MAX_PROCESSOR_NAME] = {};
    int len = 0;
    MPI_Get_processor_name(name, &len);
    errorstop::writeline(" Warning: " + std::to_string(here) + " processes on " +
                         std::string(name, static_cast<size_t>(len)) + ", which has " +
                         std::to_string(cores) + (cores == 1 ? " core" : " cores") +
                         ": MPI polls while it waits, so the run is many times slower than with at "
                         "most one process per core (see the README, \"Several machines\")");
    std::fflush(stdout);
}

}  // namespace process
