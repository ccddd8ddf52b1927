// A whole run in-process, with the final state written at full precision.
//
// The result files carry only five or six significant digits, so runs that
// must agree more closely (the same mesh on one process and split over
// several) are compared through this dump. The end-to-end tests start this
// test binary under the launcher with HEXDYN_RUN_DUMP set, in a directory
// holding "Comm" and the decks; every process runs its deck like the solver's
// driver does and writes "dump<id>.txt": every node's position and velocity,
// then every element's stress state and history, 17 significant digits.
// Without the variable the test does nothing.
#include <gtest/gtest.h>
#include <mpi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/integration.hpp"
#include "control/process.hpp"
#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"

TEST(RunDump, WholeRunStateAtFullPrecision) {
    if (!std::getenv("HEXDYN_RUN_DUMP")) GTEST_SKIP() << "started only by the end-to-end tests";
    process::reset();
    MPI_Comm_rank(MPI_COMM_WORLD, &commnodes::myid);
    MPI_Comm_size(MPI_COMM_WORLD, &commnodes::nprocs);
    try {
        datain::inputpara();
        integration();
        ffi::closefiles();
    } catch (const errorstop::stop_exception&) { FAIL() << "the run stopped"; }
    const std::string name = "dump" + std::to_string(commnodes::myid) + ".txt";
    std::FILE* f = std::fopen(name.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "time %.17g steps %d\n", simulation::currenttime, simulation::istep);
    for (int k = 0; k < particledata::nb_particle; ++k) {
        const double* x = &particledata::pos[3 * static_cast<size_t>(k)];
        const double* v = &particledata::vel[3 * static_cast<size_t>(k)];
        std::fprintf(f, "node %d %.17g %.17g %.17g %.17g %.17g %.17g\n", k + 1, x[0], x[1], x[2],
                     v[0], v[1], v[2]);
    }
    for (int e = 0; e < elementdata::nb_element; ++e) {
        const element& el = elementdata::element_list[static_cast<size_t>(e)];
        const history& h = materialdata::history_list[static_cast<size_t>(el.nhistory - 1)];
        std::fprintf(f,
                     "elem %d %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n",
                     e + 1, h.sm, h.sd[0], h.sd[1], h.sd[2], h.sd[3], h.sd[4], h.sd[5], h.seqv,
                     h.sig_y, h.epeff, h.vol0);
    }
    std::fclose(f);
    process::reset();
}
