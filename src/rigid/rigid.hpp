// Rigid bodies ("rigd SET [VX VY VZ WX WY WZ]").
//
// The elements of a rigid material set leave the element pass (no stress
// update, no forces; their history stays as read) and their nodes move as
// one body. Its mass, centre of mass and inertia are those of the lumped
// nodal masses the elements give their nodes,
//
//   M = sum m_i,  c = sum m_i x_i / M,  J = sum m_i (|r_i|^2 I - r_i r_i^T),
//
// r_i = x_i - c, exact for the lumped model every other part of the solver
// sees. The elements still bound the step with their step in the deck
// geometry, so that the contact springs on its faces, sized by them, stay
// stable (and a model of rigid bodies alone has a step).
//
// Each node update takes the forces on the body's nodes after the exchange
// and the constraints (loads, contact, elements of other sets sharing its
// nodes, walls), m_i a_i, into a force F and a moment T about c(n), summed
// per process over the nodes it counts and then over the processes in
// process order. The centre and the angular momentum L (spatial axes) move
// by central differences:
//
//   V(n+1/2) = V(n-1/2) + F dt(n) / M,     c(n+1) = c(n) + V(n+1/2) dt(n+1/2)
//   L(n+1/2) = L(n-1/2) + T dt(n)
//
// and the rotation R(n) (a unit quaternion) over dt(n+1/2) = h under the
// constant L(n+1/2) by the implicit midpoint rule on the body-frame
// momentum P = R^T L:
//
//   P(b) = P(a) + h P(m) x J^-1 P(m),  P(m) = (P(a) + P(b)) / 2,
//   R(n+1) = R(n) cay(h J^-1 P(m)),
//
// with P(a) = R(n)^T L(n+1/2) and cay the Cayley rotation. Then P(b) =
// cay(h W)^T P(a), so R(n+1) P(b) = R(n) P(a): L is kept to rounding, and
// the rule keeps the quadratic P.J^-1 P, the kinetic energy of rotation, as
// well. The fixed point is iterated to rounding. The nodes take
//
//   v_i(n+1/2) = V(n+1/2) + w x R(n) r0_i,  w = R(n) J^-1 P(a),
//   x_i(n+1)   = c(n+1) + R(n+1) r0_i,
//
// r0_i the node's place about the centre in the deck: their kinetic energy
// sum m_i v_i^2 / 2 is M V^2 / 2 + P(a).J^-1 P(a) / 2, their momentum M V and
// their angular momentum about c is L. The body's velocities enter the node
// update as a constraint does (the energy balance takes its reaction in the
// plane column, where a body that moves freely leaves nothing).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rigid {

inline constexpr const char* filename = "rigid.dat";

// One node component of a body: its index into the node arrays and its
// velocity v(n+1/2).
struct target {
    std::size_t i;
    double v;
};

// Once, after the deck has been read (before a checkpoint is loaded; a
// collective call): the bodies' nodes, masses, centres, inertia, the
// elements left to the element pass, the step of the rigid elements, and for
// a fresh run the initial node velocities. Stops on a node shared by two
// bodies or a body without mass.
void prepare();
// Which nodes this process counts in the sums (collective, before the loop).
void start();

// The node update of the bodies: from the accelerations a(n) (forces over
// masses, constraints applied), positions x(n), masses and the steps
// dt(n-1/2), dt(n+1/2), advances every body (collective) and returns the
// velocities v(n+1/2) of its node components.
const std::vector<target>& targets(const double* a, const double* x, const double* m, double dtk,
                                   double dtk1);
// After the node update: the positions x(n+1) of the bodies' nodes.
void place(double* x);

// The body's angular velocity from its inertia and angular momentum at its
// rotation q; its kinetic energy.
void angularvelocity(const double q[4], const double jinv[3][3], const double l[3], double w[3]);
double kinetic(double mass, const double vel[3], const double w[3], const double l[3]);
// One step h of the free rotation: q and the body-frame momentum taken
// through the implicit midpoint rule under the constant spatial momentum l.
void rotate(double q[4], const double jinv[3][3], const double l[3], double h);

// The column line and the record of one time (process 0 writes rigid.dat at
// every output time and at the end: time, then per body centre, its
// velocity, angular velocity, angular momentum about the centre and kinetic
// energy).
std::string header();
// What a checkpoint keeps: per body the centre, its velocity, the rotation,
// the angular momentum and angular velocity, then the number of records of
// rigid.dat and, on process 0, its length in bytes. `restore` takes them
// back; `cutback` cuts rigid.dat back to that length (process 0).
std::vector<double> saved();
std::size_t savedsize();
void restore(const std::vector<double>& state);
void cutback(const std::string& name);
std::string record(double time);
void write(double time);

}  // namespace rigid
