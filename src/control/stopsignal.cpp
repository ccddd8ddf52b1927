#include "control/stopsignal.hpp"

#include <mpi.h>

#include <csignal>

#include "model/model.hpp"

namespace stopsignal {

namespace {

volatile std::sig_atomic_t caught = 0;
int agreedsignal = 0;

extern "C" void onsignal(int sig) { caught = sig; }

}  // namespace

void install() {
    struct sigaction sa {};
    sa.sa_handler = onsignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

bool agreed() {
    int sig = caught;
    if (commnodes::nprocs > 1)
        MPI_Allreduce(MPI_IN_PLACE, &sig, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    if (sig != 0) agreedsignal = sig;
    return sig != 0;
}

int received() { return agreedsignal; }

int status() { return agreedsignal != 0 ? 128 + agreedsignal : 0; }

void reset() {
    caught = 0;
    agreedsignal = 0;
}

}  // namespace stopsignal
