// Rigid walls ("wall" ... "endw"): planes of any orientation, finite or
// infinite, cylinders and spheres, fixed or moving at constant velocity, with
// Coulomb friction.
//
// The walls hold the nodes kinematically, in the node update: a node whose
// predicted position x(n) + dt(n+1/2) v(n+1/2) would end the step behind a
// wall (at the wall's position at t(n+1)) gets the velocity change that lands
// it on the surface, and friction acts on its sliding velocity relative to
// the wall (geometry.hpp). The change is folded into the acceleration a(n),
// so that the central-difference update and the energy balance see it as the
// wall's force m dv / dt(n). Nothing penetrates, no stiffness enters the
// stable step, and a body leaves the wall by its own elastic forces.
//
// Per wall the process sums the momentum the constraint gives its nodes and
// the work of those impulses over the nodes it counts; at output times the
// sums are gathered in process order (the same figures on any number of
// processes for the same nodes) and process 0 writes walls.dat: the time,
// then per wall the mean force on the wall over the steps since the record
// before (minus the momentum given to the nodes over that time) and the
// energy the wall has taken out of the model up to then.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "walls/geometry.hpp"

namespace walls {

inline constexpr const char* filename = "walls.dat";

// The walls of the deck, in deck order ("wall" block); empty: none.
extern std::vector<wall> list;

// Forgets the walls and the sums (model reset).
void reset();
// Before the first step of a fresh run: which nodes this process counts and
// which components "fixd" holds, fresh sums; a node that starts behind a wall
// that acts on it is put on the wall's surface (with a warning).
void start();
// The same for a run continued from a checkpoint: the sums stay as restored.
void resume();
// In the node update, after the forces became accelerations and the rigid
// plane and held components have acted, before the velocities advance: the
// walls' velocity changes added to the accelerations. `time` is t(n), `dtk`
// and `dtk1` the steps dt(n-1/2) and dt(n+1/2).
void constrain(double* acc, const double* vel, const double* pos, const double* mass, int nodes,
               double time, double dtk, double dtk1);
// After the node update of a model with rigid bodies: the work of this
// step's impulses on their nodes taken against the velocities v(n+1/2) the
// bodies gave them, in place of those the walls alone would have.
void settle(const double* vel);
// The energy the walls have taken out of the whole model up to t(n), the
// same on every process (a collective call).
double work();
// Appends the record of time t(n) to walls.dat on process 0 (a collective call).
void write(double time);
// The record of one time and the column line, from the model's sums: per
// wall the momentum given to the nodes since the last record (3 values) and
// the work up to t(n), and the time those steps span.
std::string record(double time, const std::vector<double>& sums, double interval);
std::string header(std::size_t nwalls);

// What a checkpoint keeps: per wall the momentum since the last record, the
// work over the whole steps and its part after t(n); then the time since the
// last record, the number of records written and, on process 0, the length
// of walls.dat.
std::vector<double> saved();
void restore(const std::vector<double>& state);
std::size_t savedsize();
// Cuts walls.dat back to the length a restored checkpoint recorded
// (process 0); `name` is the checkpoint's, for the message.
void cutback(const std::string& name);

}  // namespace walls
