// The explicit time loop and its node-level operations.
#pragma once

#include <functional>
#include <string>

#include "control/checkpoint.hpp"

void integration();
// The loop with a given output schedule (the one a checkpoint restored); it
// returns early, after the step, when a stop signal has come.
void integration(checkpoint::schedule& s);
// The mechanics of one step, without output or report: the sentinel, kinetic
// energy, load factor, element pass, exchange and node update. `atstate`,
// when given, is called inside the node update once the state of t(n) is
// whole (positions x(n), constrained accelerations a(n), velocities
// v(n-1/2), the element values of the pass), before the nodes move on.
// `contact` is the loop's contact state (used with "cont" only).
void advance(contact::surface& contact, const std::function<void()>& atstate = nullptr);
void kinetice();
void updatefegeometry(const std::function<void()>& atstate = nullptr);

// The progress line of one step.
std::string progressline(int istep, double t, double dt, double edist, double ke);
