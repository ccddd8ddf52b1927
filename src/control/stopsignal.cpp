#include "control/stopsignal.hpp"

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
    // One process alone needs no agreement; several learn of a signal in the
    // exchange of the next step, which carries it with the time step.
    commnodes::stopflag = caught;
    const int sig = commnodes::nprocs > 1 ? commnodes::stopjob : static_cast<int>(caught);
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
