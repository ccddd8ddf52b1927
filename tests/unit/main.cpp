// Test runner: MPI is initialised once (a single process of its own) so that
// the exchange operations can be called in-process.
#include <gtest/gtest.h>
#include <mpi.h>

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    MPI_Finalize();
    return rc;
}
