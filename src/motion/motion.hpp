// Driven components and constraint forces.
//
// A driven component ("move C A K F S") has the velocity of its nodes along
// axis A prescribed at every half step. Central differences advance
//
//   v(n+1/2) = v(n-1/2) + a(n) dt(n),   x(n+1) = x(n) + v(n+1/2) dt(n+1/2),
//
// so a driven direction takes v(n+1/2) from its time function, the velocity
// S f(t(n+1/2)) itself or, for a displacement, the velocity that carries the
// node from x(n) to its deck position plus S f(t(n+1)) over the step; its
// acceleration becomes a(n) = (v(n+1/2) - v(n-1/2)) / dt(n) in place of the
// one of the summed forces.
//
// The force a constraint (rigid plane, "fixd", "move") puts on a node
// component is what its velocity change holds beyond the summed force F(n)
// of the elements, loads and contact:
//
//   R(n) = m (v(n+1/2) - v(n-1/2)) / dt(n) - F(n),
//
// which for a held node at rest is -F(n) and for a driven one m a(n) - F(n).
// "reac C" writes the sum of R over the nodes of component C, for the whole
// model, to forces.dat (process 0, at every output time and at the end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace motion {

inline constexpr const char* filename = "forces.dat";

// One driven node component: its index into the node arrays, its drive
// record (entry of motiondata::drives) and, once `targets` has run, the
// velocity v(n+1/2) it is given.
struct target {
    std::size_t i;
    std::size_t drive;
    double v;
};

// The driven components of the process's nodes and the nodes each process
// counts in the force sums (once, before the loop; collective for the
// latter).
void start();

// The velocities v(n+1/2) of the driven node components, given each drive
// record's value: the velocity S f(t(n+1/2)) of a "v" record, the
// displacement S f(t(n+1)) of a "d" record; `dt` is dt(n+1/2).
const std::vector<target>& targets(const std::vector<double>& values, const double* x, double dt);

// True when forces.dat is written ("reac", or "forc" in the contact block).
bool reacting();
// A constraint changes node component i in the node update: its velocity
// v(n-1/2) and the acceleration F(n)/m before the change.
void constrained(std::size_t i, double v, double a);
// After the node update: the forces of the step's constraints, into
// motiondata::reaction; `dtn` is dt(n).
void settle(const double* v, const double* m, double dtn);

// The sum of the constraint forces over the nodes of each "reac" component
// this process counts, x, y, z per record, then `contactsets`: the contact
// forces of the "forc" records over the pairs this process counts.
std::vector<double> localforces(const std::vector<double>& contactsets);
// Sums of the processes in process order (collective; process 0 receives).
std::vector<double> globalforces(const std::vector<double>& contactsets);
// The column line and the record of one time.
std::string header();
std::string record(double time, const std::vector<double>& forces);
// Appends the record of `time` to forces.dat (collective; process 0 writes),
// with the process's contact forces between sets (contact::setforces).
void write(double time, const std::vector<double>& contactsets);

}  // namespace motion
