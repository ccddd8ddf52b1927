// The time functions: tables of (time, value) points, evaluated at the time
// at the start of the step (loads) or within the step (driven components).
#pragma once

// Function 1, the "time" table that scales the loads.
double currenttmfunction(const double& t);

// Function f (1..): 1 is the "time" table, the others the "tfun" tables,
// evaluated by the same rule (0 before the first point, linear between two,
// a stop at or beyond the last).
double functionvalue(int f, double t);

// The value of every function the loads follow at time t, into
// timefunctiondata::current (when some load follows another function than 1).
void currentfunctions(double t);
