// The explicit time loop and its node-level operations.
#pragma once

#include <string>

void integration();
// The mechanics of one step, without output or report: the sentinel, kinetic
// energy, load factor, element pass, exchange and node update.
void advance();
void kinetice();
void updatefegeometry();

// The progress line of one step.
std::string progressline(int istep, double t, double dt, double edist, double ke);
