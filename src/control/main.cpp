// hexdyn: explicit transient dynamics of 3-D solids meshed with 8-node
// hexahedra. Every MPI process reads its own deck ("a", "b", ...) and the
// shared-node table "Comm" from the working directory, runs the time loop and
// writes its echo, curve and animation files.
#include <mpi.h>

#include <cstdio>

#include "control/integration.hpp"
#include "control/process.hpp"
#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    MPI_Comm_rank(MPI_COMM_WORLD, &commnodes::myid);
    MPI_Comm_size(MPI_COMM_WORLD, &commnodes::nprocs);
    try {
        errorstop::writeline(records::listed("Myid=", commnodes::myid));
        errorstop::writeline(records::listed("nprocs=", commnodes::nprocs));
        process::warnoversubscribed();
        double t0 = MPI_Wtime();
        datain::inputpara();
        if (commnodes::myid == 0) {
            double t1 = MPI_Wtime();
            errorstop::writeline(
                records::listed("** Time for preprocessing is", t1 - t0, "seconds"));
            t0 = MPI_Wtime();
            errorstop::writeline(" solving...");
        }
        std::fflush(stdout);
        integration();
        if (commnodes::myid == 0) {
            double t1 = MPI_Wtime();
            errorstop::writeline(records::listed("** Timefor computation is", t1 - t0, " seconds"));
        }
        ffi::closefiles();
    } catch (const errorstop::stop_exception& s) {
        // Writes out what the result files still hold, then ends the job.
        process::terminate(s.status);
    }
    std::fflush(stdout);
    MPI_Finalize();
    return 0;
}
