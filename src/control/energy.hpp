// Global energy balance ("ebal on"): process 0 writes energy.dat, one record
// per output time and one at the end of the run, with the energies of the
// whole model.
//
// Every step each process adds up, from its own share of the nodal forces
// (so that shared nodes need no weighting), the work of the loads and of the
// element forces over the step, and, over the nodes it counts, the kinetic
// energy the rigid plane takes out. With a = F/m, v* = v(n-1/2) + a (dt(n-1/2)
// + dt(n+1/2))/2 the velocity without the plane and vm = (v(n-1/2) + v*)/2,
// the work of a force f over the step is f . vm (dt(n-1/2) + dt(n+1/2))/2 and
// the plane takes m (|v*|^2 - |v(n+1/2)|^2)/2: the central-difference update
// then keeps kinetic energy = initial kinetic energy + work of the loads +
// work of the element forces - energy taken by the plane, to rounding.
// The strain energy comes from the stresses; the hourglass energy is the rest
// of the work of the element forces. The sums over the processes are formed
// only at output times.
#pragma once

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
// here), the work of the loads and of the element forces, the energy taken by
// the rigid plane, and the number of records written to energy.dat.
struct sums {
    double initial, external, element, plane;
    std::int64_t records;
};
sums saved();
void restore(const sums& s);
// Step hooks, called by advance() when the balance is on: after the element
// pass (forces of this process's share), after the exchange (summed forces)
// and after the node update.
void afterpass(double tf);
void afterexchange();
void afterupdate(double tf);

// The global energies at an output time.
struct balance {
    double kinetic, internal, hourglass, external, plane, total, error, initial;
};
// Sums over all processes (a collective call: every process at the same step).
balance global();
// The record of one time, and the column line at the top of the file.
std::string record(double time, const balance& b);
std::string header();
// Forms the global balance and, on process 0, appends its record.
void write(double time);

}  // namespace energy
