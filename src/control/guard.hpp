// Checks of the time loop that end a run which no longer computes anything
// meaningful: no finite step, a step that is not positive and finite,
// non-finite energies, coordinates or curve values. Each stop names the step
// and, where it is known, the element or node; nothing non-finite reaches
// the result files.
//
// A stop of a run that has run away writes out the result files as the end of
// a run does; with field output ("fout") it also writes the state it stopped
// in as the last frame and lists it in field.pvd (a state that is not finite
// is not written). With field output on several processes, a fault one
// process finds is agreed on by all at the end of its check, so that all
// write the frame together before the job ends.
#pragma once

#include <string>

#include "contact/contact.hpp"

namespace guard {

// What to change when a run runs away ("; lower the step scale (dtsc), ..."),
// with the contact stiffness when contact is on.
std::string remedy();

// The contact part of the remedy: empty without contact.
std::string contactremedy();

// Stops every process with `message` after the last frame, for a fault that
// every process finds at the same point (collective with field output on
// several processes).
[[noreturn]] void stopall(const std::string& message);

// The references of the two runaway checks, once before the loop: the
// shortest initial element step (edge of the initial volume over the wave
// speed) and the kinetic energy of the process's mass at 100 times the
// fastest wave speed. `contact` is the loop's contact state (null without
// contact), whose stiffest pair a runaway's message names.
void start(const contact::surface* contact = nullptr);

// After the element pass, with the process's own step: a process with
// elements must have found a finite step below the 1e6 sentinel, and not
// one that has collapsed below 1e-6 of the initial element step.
void checkpass(int step, double dt);

// After the exchange, with the step of the whole job.
void checkstep(int step, double dt);

// With "fail": what holds each node, counted over the whole job (a
// collective call, before the loop once erosion is set up and whenever the
// job's count of eroded elements grows): the elements still in the model
// that hold it and whether some copy of it carries a load.
void holders();

// The node a runaway of the kinetic energy is laid to: the fastest node with
// mass (one without keeps its velocity and holds no energy) among those an
// element still holds and those a load drives with nothing left to hold
// them, which are `loose`. A node whose elements have all eroded and that
// carries no load flies on at its speed and is passed over. 0 when there is
// none.
int runawaynode(bool& loose);

// The energies of the process at the start of the step: finite, and the
// kinetic energy not that of the whole mass moving at 100 times the wave
// speed (a run grown unstable, or a loaded node whose elements have all
// eroded, which the stop names).
void checkenergies(int step);

// Before the records of an output time: the coordinates and every value the
// curve file is about to receive.
void checkoutput(int step);

}  // namespace guard
