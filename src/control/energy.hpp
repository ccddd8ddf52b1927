// Global energy balance ("ebal on"): process 0 writes energy.dat, one record
// per output time and one at the end of the run, with the energies of the
// whole model at the time t(n) of the record.
//
// Central differences advance m v(n+1/2) = m v(n-1/2) + F(n) dt(n), with
// dt(n) = (dt(n-1/2) + dt(n+1/2))/2 and F(n) the sum of the loads, the
// internal and hourglass forces of the elements and the reactions of the
// constraints (rigid plane, held components), the reaction being whatever
// makes the stored velocities satisfy that equation. Dotted with
// (v(n-1/2) + v(n+1/2))/2 the equation telescopes: with the kinetic energy at
// t(n) taken as m v(n-1/2).v(n+1/2)/2 and the work of each force F over the
// step taken as F(n).(v(n-1/2) + v(n+1/2))/2 dt(n), split into the half
// before t(n) (with v(n-1/2)) and the half after it (with v(n+1/2)),
//
//   kinetic(t(n)) = initial kinetic + work of every force up to t(n)
//
// holds to rounding. The work of the internal forces up to t(n) then stands
// for the strain energy, which the stresses give independently over the same
// interval: the balance
//
//   kinetic + internal + hourglass = initial + external work - plane work
//
// closes only as far as the element's nodal forces and its stresses agree,
// so energy_error is a real check. The hourglass energy is minus the work of
// the hourglass forces alone; the plane column is minus the work of the
// reactions (the energy the constraints take out); with driven components
// ("move") the motion_work column is the work the driven nodes' reactions
// do on the model, given to it as the loads' work is; with contact on, the
// contact column is minus the work of the contact forces (the energy the
// penalty springs hold and friction has turned into heat); with rigid walls,
// the wall column is minus the work of the walls' impulses, balanced as the
// plane column is. Each process adds the
// work of its own share of the loads and hourglass forces over all its nodes
// and the kinetic energy and the reactions over the nodes it counts; the sums
// over the processes are formed only at output times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace energy {

inline constexpr const char* filename = "energy.dat";

// Which nodes this process counts, and fresh sums (once, before the loop).
void start();
// The same for a run continued from a checkpoint: the sums stay as restored.
void resume();

// What the balance carries from step to step on this process, for a
// checkpoint: the kinetic energy of the initial velocities (nodes counted
// here), the work of the loads, of the hourglass forces and of the
// constraints over the whole steps taken, and the number of records written
// to energy.dat.
struct sums {
    double initial, external, hourglass, plane;
    std::int64_t records;
};
sums saved();
void restore(const sums& s);
// Step hooks, called by advance() when the balance is on: after the exchange
// (summed forces, velocities v(n-1/2)) and after the node update.
// `contactforce` is the contact force of the step on each node of the
// process (3 per node), null without contact.
void afterexchange(const double* contactforce = nullptr);
void afterupdate(double tf, const double* contactforce = nullptr);
// Called by the node update for each component a constraint (rigid plane,
// held component) changes: its index into the node arrays, v(n-1/2) and the
// acceleration before the change.
// `driven` marks a component a "move" record drives: its reaction's work goes
// to the motion column.
void constrained(std::size_t i, double v, double a, bool driven = false);

// The global energies at an output time.
struct balance {
    // contact: minus the work of the contact forces (with "cont" only)
    // eroded: work the eroded elements had absorbed when removed (with "fail" only)
    // wall: the energy the rigid walls took out (with "wall" only)
    // motion: work of the driven components on the model (with "move" only)
    double kinetic, internal, hourglass, external, plane, total, error, initial, contact, eroded,
        motion;
    double wall = 0.0;
};
// Sums over all processes (a collective call: every process at the same step).
balance global();
// The record of one time, and the column line at the top of the file.
std::string record(double time, const balance& b);
std::string header();
// The runaway check of the records. The mismatch total + plane_work -
// initial - external_work is judged against the largest initial energy plus
// work of the loads of any record so far, so that loads whose work swings
// back towards zero (a body ringing under its load) do not make a small
// mismatch look large. Off by more than `runaway` times that, a run has run
// away when it is off by more than `surge` times (a burst that made energy
// within one output interval), or when it was off at the record before as
// well and its mismatch has more than doubled since (still growing). A
// stable run can be off by a few times the energy it was given and stay
// so: the work of the bulk viscosity is taken with the viscous pressure of
// the pass before, so a mode that reverses at every step (an element
// ringing near the step limit) books the damping with the wrong sign while
// it rings, once, and the mismatch then stays where the ringing left it.
inline constexpr double runaway = 1.0;
inline constexpr double surge = 10.0;
// What the check keeps from record to record (every process the same: the
// balance is global). A restored run starts it afresh.
struct watch {
    double reference = 0.0;  // largest |initial + external work| of the records so far, J
    double mismatch = 0.0;   // total + plane work - initial - external work at the last record, J
    bool off = false;        // the last record was off by more than `runaway`
};
// Takes a record into `w`; true when the run has run away (a mismatch that
// is not finite included). Against no energy at all (nothing given yet) the
// mismatch is judged in joules, as the energy_error column gives it.
bool ranaway(watch& w, const balance& b);
// Forms the global balance and, on process 0, appends its record; stops a
// run whose balance has run away.
void write(double time);

}  // namespace energy
