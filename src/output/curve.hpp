// The curve file: one column per requested curve, one record per output time.
#pragma once

#include <string>

#include "model/model.hpp"

void outcurve(double time);
// The value of curve i (0-based entry of dataout's curve arrays) now; stops
// on a variable outside the curve-variable table.
double curvevalue(int i);
// Appends the value of curve i to a record buffer in its field (the
// material set as I3, every other value as D15.6).
void putvariable(std::string& out, int i);
// The title as written in the headers: 60 characters, NULs shown as blanks.
std::string titlefield();
// Stops when a curve names an element or node outside the process's
// (checked once the deck has been read), and keeps the deck position of the
// node of every displacement curve.
void checkcurves();
