// Material failure and element erosion ("fail" block).
//
// After each element pass every element still in the model adds to its
// damage the Johnson-Cook share of the pass's plastic strain increment,
//
//   D += d eps_p / eps_f,  eps_f = [D1 + D2 exp(D3 sigma*)] [1 + D4 ln rate*] [1 + D5 T*]
//
// (sigma* the mean stress over the von Mises stress, rate* the plastic
// strain rate over the material's reference rate, at least 1, T* the
// homologous temperature of a model with a temperature), and is checked
// against its set's limits: effective plastic strain, largest principal
// strain and largest shear strain (from the deck geometry), mean stress in
// tension (spall), and its own step against a share of the shortest initial
// element step (the criteria, their values and the models they act on are
// the rows of failure/failtable.hpp). An element whose damage reaches 1 or
// that meets a limit is eroded: its stress is zeroed, it leaves the element
// pass (no forces, no step), its mass stays at its nodes, and the strain
// energy it held (the elastic energy of its stress and the plastic work it
// has done) is counted apart.
#pragma once

#include <vector>

namespace failure {

// Keeps the deck coordinates the principal and shear strain limits measure
// from and sizes the per-element state (collective: the shortest initial
// step). start() does it unless a restart has done it before loading the
// checkpoint's positions.
void prepare();
void start();

// After the element pass: damage, limits, erosion. Returns the number of
// elements this process eroded in this pass.
int afterpass();

// True when the number of eroded elements of the whole model has grown in
// this pass: `somewhere` tells whether some process eroded an element in it
// (the step's own reduction carries that), so no message is needed; the
// count itself is summed when jobcount() reads it.
bool agree(bool somewhere);

// The number of eroded elements of the whole model (collective: summed over
// the processes when elements have eroded since the last sum).
int jobcount();

// Strains of the element's deformation at its centre, from the deck
// coordinates X of its corners to the current x (0 for an element degenerate
// in the deck), from the principal stretches lambda_1 >= lambda_2 >=
// lambda_3 of the gradient there: the largest principal strain lambda_1 - 1
// ("prin"), and the largest engineering shear strain lambda_1 - lambda_3,
// the largest principal strain minus the smallest ("shea"; a simple shear of
// amount gamma gives gamma).
double principalstrain(const double X[8][3], const double x[8][3]);
double shearstrain(const double X[8][3], const double x[8][3]);

// What a checkpoint carries per element: effective plastic strain at the
// last pass and plastic work done.
std::vector<double>& previousstrain();
std::vector<double>& plasticwork();

void reset();

}  // namespace failure
