// The explicit time loop and its node-level operations.
#pragma once

#include <string>

void integration();
void kinetice();
void updatefegeometry();

// The progress line of one step.
std::string progressline(int istep, double t, double dt, double edist, double ke);
