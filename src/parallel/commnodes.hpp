// Nodes shared between processes and the per-step exchange.
//
// "Comm" pairs the copies of shared nodes: one slot per shared node, and for
// every process the local number of its copy (0 where it has none). Each step
// the forces of all copies are summed (on the first step also the masses), and
// all processes agree on the smallest time step.
#pragma once

#include <string>

#include "parallel/deckname.hpp"

namespace commnodes {

void readcomnode();

// Stops the run when this process's row of "Comm" names a node outside
// 0..nb_particle (called once the deck has been read).
void checkcomnode();

void updateforce(int istep, double& value);

}  // namespace commnodes
