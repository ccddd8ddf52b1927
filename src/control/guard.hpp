// Checks of the time loop that end a run which no longer computes anything
// meaningful: no finite step, a step that is not positive and finite,
// non-finite energies, coordinates or curve values. Each stop names the step
// and, where it is known, the element or node; nothing non-finite reaches
// the result files.
#pragma once

namespace guard {

// After the element pass, with the process's own step: a process with
// elements must have found a finite step below the 1e6 sentinel.
void checkpass(int step, double dt);

// After the exchange, with the step of the whole job.
void checkstep(int step, double dt);

// The energies of the process at the start of the step.
void checkenergies(int step);

// Before the records of an output time: the coordinates and every value the
// curve file is about to receive.
void checkoutput(int step);

}  // namespace guard
