// The element pass of one step: nodal forces of all elements and the
// process's proposed time step.
#pragma once

void feforce(double tf);

// Writes the zero-volume line for element e and stops.
[[noreturn]] void zerovolume(int e);
