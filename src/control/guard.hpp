// Checks of the time loop that end a run which no longer computes anything
// meaningful: no finite step, a step that is not positive and finite,
// non-finite energies, coordinates or curve values. Each stop names the step
// and, where it is known, the element or node; nothing non-finite reaches
// the result files.
#pragma once

namespace guard {

// The references of the two runaway checks, once before the loop: the
// shortest initial element step (edge of the initial volume over the wave
// speed) and the kinetic energy of the process's mass at 100 times the
// fastest wave speed.
void start();

// After the element pass, with the process's own step: a process with
// elements must have found a finite step below the 1e6 sentinel, and not
// one that has collapsed below 1e-6 of the initial element step.
void checkpass(int step, double dt);

// After the exchange, with the step of the whole job.
void checkstep(int step, double dt);

// The energies of the process at the start of the step: finite, and the
// kinetic energy not that of the whole mass moving at 100 times the wave
// speed (a run grown unstable).
void checkenergies(int step);

// Before the records of an output time: the coordinates and every value the
// curve file is about to receive.
void checkoutput(int step);

}  // namespace guard
