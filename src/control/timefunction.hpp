// The load time function: a table of (time, factor) points, evaluated once
// per step at the time at the start of the step.
#pragma once

double currenttmfunction(const double& t);
