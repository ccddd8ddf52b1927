// The curve file: one column per requested curve, one record per output time.
#pragma once

#include <string>

#include "model/model.hpp"

void outcurve(double time);
// Appends the value of one curve to a record buffer.
void putvariable(std::string& out, int option, const element& el, const history& h);
// The title as written in the headers: 60 characters, NULs shown as blanks.
std::string titlefield();
// Stops when a curve of an element variable names an element outside
// 1..nb_element (checked once the deck has been read).
void checkcurves();
