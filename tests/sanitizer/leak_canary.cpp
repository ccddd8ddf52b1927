// A process that starts and ends MPI like the solver does and leaks one block
// of a distinctive size from its own code. Under LeakSanitizer with the
// project's suppressions, the run must report exactly this block: MPI's own
// start-up blocks are excused, hexdyn's are not.
#include <mpi.h>

#include <cstring>

namespace {

char* volatile kept = nullptr;

[[gnu::noinline]] void leak_one_block() {
    kept = new char[4242];
    std::memset(kept, 1, 4242);
    kept = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    leak_one_block();
    MPI_Finalize();
    return 0;
}
