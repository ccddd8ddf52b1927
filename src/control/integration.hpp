// The explicit time loop and its node-level operations.
#pragma once

#include <string>

#include "control/checkpoint.hpp"

void integration();
// The loop with a given output schedule (the one a checkpoint restored); it
// returns early, after the step, when a stop signal has come.
void integration(checkpoint::schedule& s);
// The mechanics of one step, without output or report: the sentinel, kinetic
// energy, load factor, element pass, exchange and node update.
void advance();
void kinetice();
void updatefegeometry();

// The progress line of one step.
std::string progressline(int istep, double t, double dt, double edist, double ke);
